// The engine and source of a job, by the main window's settings.
#include <algorithm>
#include <cctype>

#include "app/TranscodeJob.h"
#include "engines/MonoFilesEngine.h"
#include "engines/WavEngine.h"
#include "mp2enc/Mp2Engine.h"
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
            return std::make_unique<WavEngine>(window);
        case TranscoderDialog::kEngineWavMono:
            return std::make_unique<MonoFilesEngine>(window, true);
        default:
            return nullptr;
    }
}

std::unique_ptr<SampleSource> TranscodeJob::CreateSource() {
    std::string upper = window.inputName.text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    // ".WAV" anywhere in the name, also in a folder name.
    if (upper.find(".WAV") != std::string::npos) return std::make_unique<WavFileSource>(window);
    return std::make_unique<Ac3FileSource>(window);
}

}  // namespace tavrisk
