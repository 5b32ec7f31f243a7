// The engine and source of a job, by the main window's settings.
#include "app/TranscodeJob.h"
#include "engines/MonoFilesEngine.h"
#include "engines/WavEngine.h"
#include "mp2enc/Mp2Engine.h"
#include "sources/InputProbe.h"
#include "sources/WavFileSource.h"
#include "sources/ac3/Ac3FileSource.h"

namespace tavrisk {

std::unique_ptr<OutputEngine> TranscodeJob::CreateEngine() {
    switch (window.outputEngine.selected) {
        case TranscoderDialog::kEngineMp2:
            return std::make_unique<mp2::Mp2Engine>(window);
        case TranscoderDialog::kEnginePcmMono:
            return std::make_unique<MonoFilesEngine>(window, false);
        case TranscoderDialog::kEngineWav:
            return std::make_unique<WavEngine>(window, window.wavOrder);
        case TranscoderDialog::kEngineWavMono:
            return std::make_unique<MonoFilesEngine>(window, true);
        default:
            return nullptr;
    }
}

std::unique_ptr<SampleSource> TranscodeJob::CreateSource() {
    if (IsWavInputName(window.inputName.text)) return std::make_unique<WavFileSource>(window);
    return std::make_unique<Ac3FileSource>(window);
}

}  // namespace tavrisk
