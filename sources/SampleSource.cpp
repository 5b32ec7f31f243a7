// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/SampleSource.h"

#include <algorithm>

namespace tavrisk {

namespace {

constexpr const char* kFormatTitle = "Tavrisk Internal Encoder Error";

}  // namespace

bool SampleSource::Refuse(const std::string& text, const std::string& title) {
    refused = true;
    return Fail(text, title);
}

bool SampleSource::CheckInputRate(int fileRate) {
    if (fileRate == inputRate) return true;
    return Fail("The input '" + fileName + "' is at " + std::to_string(fileRate) +
                    " Hz, but the input frequency is set to " + std::to_string(inputRate) + " Hz",
                kFormatTitle);
}

bool SampleSource::PollStop() {
    // The reading thread shows no progress: the chain's thread does, at each run it takes.
    if (OnReadingThread()) {
        readingStopped = readingStopped || reading->HaltAsked() || host.StopRequested();
        return readingStopped;
    }
    float percent = 0.0f;
    if (pass == Pass::kAnalysis) percent = PassPercent(kAnalysisShare);
    if (pass == Pass::kOutput) percent = OutputPercent();
    if (host.UpdateProgress(percent, false) || host.StopRequested()) stopSeen = true;
    return stopSeen;
}

bool SampleSource::StartPasses() {
    StopReading();
    if (normalizeEnabled) {
        pass = Pass::kAnalysis;
        if (!AnalysisPass()) return false;
        host.UpdateProgress(kAnalysisShare, true);
    }
    return PrepareOutputPass();
}

bool SampleSource::AnalysisPass() {
    chain.StartAnalysis();
    for (;;) {
        if (host.UpdateProgress(PassPercent(kAnalysisShare), false) || host.StopRequested()) {
            return false;
        }
        chain.SetControls(host.CurrentChannelControls());
        InputRun run;
        const InputStatus status = ReadInput(run);
        if (status == InputStatus::kEnd) break;
        if (status == InputStatus::kFailed) return false;
        Analyze(run);
    }
    if (stopSeen) return false;
    EndAnalysisPass();
    return RewindInput();
}

bool SampleSource::Refill() {
    if (!readsAhead) {
        InputRun run;
        if (ReadInput(run) != InputStatus::kFrames) return false;
        Push(run);
    } else {
        if (!reading) {
            std::vector<ReadRun> ring(kReadAheadRuns);
            for (ReadRun& run : ring) run.frames.resize(kMaxRunFrames * kChannels);
            reading = std::make_unique<ReadAhead<ReadRun>>(
                std::move(ring), [this](ReadRun& run) { return ReadRunAhead(run); });
            reading->Start();
        }
        ReadRun& taken = reading->Next();
        for (const Notice& notice : taken.notices) Tell(notice);
        takenPosition = taken.position;
        if (taken.stopped) stopSeen = true;
        const bool frames = taken.status == InputStatus::kFrames;
        if (frames) Push({taken.frames.data(), taken.count});
        reading->Release();
        if (!frames) return false;
    }
    if (host.UpdateProgress(OutputPercent(), false)) stopSeen = true;
    return true;
}

bool SampleSource::ReadRunAhead(ReadRun& run) {
    InputRun read;
    run.status = ReadInput(read);
    run.count = run.status == InputStatus::kFrames ? read.count : 0;
    if (run.frames.size() < run.count * kChannels) run.frames.resize(run.count * kChannels);
    std::copy(read.frames, read.frames + run.count * kChannels, run.frames.begin());
    run.position = InputPosition();
    run.stopped = readingStopped;
    run.notices.swap(pendingNotices);
    pendingNotices.clear();
    return run.status == InputStatus::kFrames;
}

bool SampleSource::HandOver(const Notice& notice) {
    if (!OnReadingThread()) return false;
    pendingNotices.push_back(notice);
    return true;
}

double SampleSource::ProgressPosition() const {
    return reading ? takenPosition : InputPosition();
}

void SampleSource::StopReading() {
    reading.reset();
    readingStopped = false;
    pendingNotices.clear();
}

bool SampleSource::FillChain() {
    while (!chain.BlockReady() && !inputDone && !stopSeen) {
        if (!Refill()) EndOfInput();
    }
    return true;
}

}  // namespace tavrisk
