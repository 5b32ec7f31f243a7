// SPDX-License-Identifier: GPL-3.0-or-later
#include "engines/MonoFilesEngine.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "engines/EngineMessages.h"

namespace tavrisk {

MonoFilesEngine::MonoFilesEngine(JobHost& host, bool wavMode) : host(host), wavMode(wavMode) {}

std::string MonoFilesEngine::FilePath(const std::string& folder, int k, bool wavMode) {
    return folder + "/stream_" + kChannelNames[k] + (wavMode ? ".wav" : ".pcm");
}

bool MonoFilesEngine::Init(const JobSettings& settings) {
    if (!source || !source->Open(settings.inputName)) {
        return false;
    }
    folder = settings.outputName;
    std::error_code error;
    createdFolder = std::filesystem::create_directories(folder, error);
    const int rate = settings.outputRate;
    for (int k = 0; k < kFiles; ++k) {
        paths[k] = FilePath(folder, k, wavMode);
        if (!CreateFile(k, rate)) {
            ReportCreateError(host, paths[k], errno);
            DiscardFiles();
            return false;
        }
    }
    return true;
}

bool MonoFilesEngine::CreateFile(int k, int rate) {
    if (wavMode) {
        return wavFiles[k].Open(paths[k], 1, rate, WavWriter::kBitsPerSample);
    }
    return rawFiles[k].Open(paths[k], RiffFile::Mode::kCreate);
}

void MonoFilesEngine::DiscardFiles() {
    for (int k = 0; k < kFiles; ++k) {
        if (wavMode) {
            wavFiles[k].Discard();
        } else {
            rawFiles[k].Discard();
        }
    }
    if (createdFolder) {
        std::error_code ignored;
        std::filesystem::remove(folder, ignored);  // only when it is empty
    }
}

bool MonoFilesEngine::WriteFile(int k, const uint8_t* bytes, std::size_t count) {
    return wavMode ? wavFiles[k].Write(bytes, count) : rawFiles[k].Write(bytes, count);
}

bool MonoFilesEngine::CloseFile(int k, OutputEnd end) {
    const bool closed = wavMode ? wavFiles[k].Close(end) : rawFiles[k].Close(end);
    NoteKept(wavMode ? wavFiles[k].Kept() : rawFiles[k].Kept());
    return closed;
}

bool MonoFilesEngine::FetchBlock() {
    if (failed || !ReadFromSource(block)) {
        return false;
    }
    for (int k = 0; k < kFiles; ++k) {
        const double* values = block.Row(static_cast<std::size_t>(k));
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
            WavWriter::PutSample(values[i], row.data() + i * WavWriter::kBytesPerSample);
        }
        if (!WriteFile(k, row.data(), row.size())) {
            ReportWriteError(host, paths[k]);
            failed = true;
            return false;
        }
    }
    wroteBlock = true;
    return true;
}

bool MonoFilesEngine::Finish() {
    if (source) {
        source->Close();
    }
    if (!wroteBlock) {
        DiscardFiles();
        return true;
    }
    // One end for the six files: a failed close makes the rest partial too.
    bool closed = true;
    for (int k = 0; k < kFiles; ++k) {
        if (!CloseFile(k, Ending()) && closed) {
            if (!failed) {
                ReportWriteError(host, paths[k]);
            }
            failed = true;
            closed = false;
        }
    }
    return closed;
}

}  // namespace tavrisk
