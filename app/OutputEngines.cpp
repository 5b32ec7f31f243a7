// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/OutputEngines.h"

#include "engines/MonoFilesEngine.h"
#include "engines/Mp2Engine.h"
#include "engines/WavEngine.h"

namespace tavrisk {

namespace {

std::vector<std::string> TheOutput(const std::string& output) {
    return {output};
}

template <bool WavFiles>
std::vector<std::string> MonoFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (int k = 0; k < MonoFilesEngine::kFiles; ++k)
        files.push_back(MonoFilesEngine::FilePath(folder, k, WavFiles));
    return files;
}

std::unique_ptr<OutputEngine> MakeMp2(JobHost& host) {
    return std::make_unique<Mp2Engine>(host);
}

std::unique_ptr<OutputEngine> MakeWav(JobHost& host) {
    return std::make_unique<WavEngine>(host);
}

template <bool WavFiles>
std::unique_ptr<OutputEngine> MakeMonoFiles(JobHost& host) {
    return std::make_unique<MonoFilesEngine>(host, WavFiles);
}

constexpr OutputEngineKind kEngines[] = {
    {" MP2 Engine (single 6ch file)", "mp2", ".mp2", false, true, TheOutput, MakeMp2},
    {" PCM Engine (6 mono files)", "pcm", "", true, false, MonoFiles<false>, MakeMonoFiles<false>},
    {" WAV Engine (single 6ch file)", "wav", ".wav", false, false, TheOutput, MakeWav},
    {" WAV Engine (6 mono files)", "wav-mono", "", true, false, MonoFiles<true>,
     MakeMonoFiles<true>},
};

}  // namespace

std::span<const OutputEngineKind> OutputEngineKinds() {
    return kEngines;
}

const OutputEngineKind* OutputEngineOfItem(int item) {
    return item >= 0 && item < static_cast<int>(std::size(kEngines)) ? &kEngines[item] : nullptr;
}

const OutputEngineKind* OutputEngineNamed(std::string_view cliName) {
    return OutputEngineOfItem(OutputEngineItemNamed(cliName));
}

int OutputEngineItemNamed(std::string_view cliName) {
    for (std::size_t i = 0; i < std::size(kEngines); ++i)
        if (cliName == kEngines[i].cliName) return static_cast<int>(i);
    return -1;
}

void AllowEncoderFrameCounter(bool allowed) {
    Mp2Engine::SetFrameCounterAllowed(allowed);
}

void SetEncoderDiagnostics(DiagnosticSink* sink) {
    Mp2Engine::SetDefaultDiagnostics(sink);
}

}  // namespace tavrisk
