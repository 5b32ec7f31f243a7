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
    // The reading thread has the job's thread show the progress, and waits for it.
    if (OnReadingThread()) {
        polledPosition = InputPosition();
        if (!reading->Ask()) readingStopped = true;
        readingStopped = readingStopped || host.StopRequested();
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
        const InputStatus status = NextRun(run);
        if (status == InputStatus::kEnd) break;
        if (status == InputStatus::kFailed) return false;
        Analyze(run);
    }
    if (stopSeen) return false;
    EndAnalysisPass();
    StopReading();
    return RewindInput();
}

bool SampleSource::Refill() {
    InputRun run;
    if (NextRun(run) != InputStatus::kFrames) return false;
    Push(run);
    if (host.UpdateProgress(OutputPercent(), false) && !stopInSearch) stopSeen = true;
    return true;
}

SampleSource::InputStatus SampleSource::NextRun(InputRun& run) {
    if (!readsAhead) return ReadInput(run);
    if (!reading) {
        std::vector<ReadRuns> ring(kReadAheadSlots);
        for (ReadRuns& slot : ring) {
            slot.frames.resize(kRunsPerSlot * kMaxRunFrames * kChannels);
            // Runs of a frame of a compressed stream are shorter than kMaxRunFrames.
            slot.runs.reserve(4 * kRunsPerSlot);
        }
        reading = std::make_unique<ReadAhead<ReadRuns>>(
            std::move(ring), [this](ReadRuns& slot) { return ReadRunsAhead(slot); });
        reading->Start();
    }
    if (!taken) {
        taken = &reading->Next([this] {
            takenPosition = polledPosition;
            // A stop asked now takes effect where the search stands: the runs read before it
            // are still delivered, and the reading thread ends there.
            if (host.UpdateProgress(CurrentPercent(), false) || host.StopRequested())
                stopInSearch = true;
        });
        nextRun = nextTold = 0;
    }
    for (; nextTold < taken->told.size() && taken->told[nextTold].beforeRun <= nextRun; ++nextTold)
        Tell(taken->told[nextTold].notice);
    if (nextRun < taken->runs.size()) {
        const ReadRuns::Run& next = taken->runs[nextRun++];
        run = {taken->frames.data() + next.start * kChannels, next.count};
        takenPosition = next.position;
        return InputStatus::kFrames;
    }
    // The runs were all taken: the reading went on, or ended in them.
    const InputStatus status = taken->status;
    if (taken->stopped) stopSeen = true;
    takenPosition = taken->endPosition;
    taken = nullptr;
    reading->Release();
    return status == InputStatus::kFrames ? NextRun(run) : status;
}

bool SampleSource::ReadRunsAhead(ReadRuns& slot) {
    slot.runs.clear();
    slot.told.clear();
    std::size_t filled = 0;
    do {
        InputRun read;
        float* const room = slot.frames.data() + filled * kChannels;
        runRoom = room;
        slot.status = ReadInput(read);
        runRoom = nullptr;
        for (Notice& notice : pendingNotices)
            slot.told.push_back({slot.runs.size(), std::move(notice)});
        pendingNotices.clear();
        if (slot.status != InputStatus::kFrames) break;
        // A run written in place needs no copy; one that starts further on in the room (its
        // first frames dropped) moves back to its start.
        if (read.frames != room) std::copy(read.frames, read.frames + read.count * kChannels, room);
        slot.runs.push_back({filled, read.count, InputPosition()});
        filled += read.count;
    } while (filled + kMaxRunFrames <= kRunsPerSlot * kMaxRunFrames);
    slot.endPosition = InputPosition();
    slot.stopped = readingStopped;
    return slot.status == InputStatus::kFrames;
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
    taken = nullptr;
    stopInSearch = false;
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
