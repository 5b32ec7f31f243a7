// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sources/ChainSource.h"
#include "sources/ReadAhead.h"

namespace tavrisk {

// Base of the native inputs, which pull their frames from a file into the processing
// chain. A concrete source only opens its input, delivers runs of input frames (six floats,
// full scale +-1.0, in the order L, C, R, LS, RS, LFE), rewinds and says where it is. The
// base runs the analysis pass of two-pass normalisation inside Open (progress 0..50 %),
// then reads on whenever the chain holds less than a block, polling for a stop request and
// showing the progress.
class SampleSource : public ChainSource {
  public:
    // The input is of a kind this source does not read at all: nothing was done with it.
    bool Refused() const { return refused; }

  protected:
    enum class InputStatus { kFrames, kEnd, kFailed };

    using ChainSource::ChainSource;

    // The next run of at most kMaxRunFrames input frames; kFailed after Fail().
    virtual InputStatus ReadInput(InputRun& run) = 0;
    // Back to the start of the input, for the output pass after the analysis pass.
    virtual bool RewindInput() = 0;

    // Fail() for an input of a kind this source does not read (Refused() turns true).
    bool Refuse(const std::string& text, const std::string& title);
    // The file's own rate decides: false (after a message naming both rates) when the job's
    // input frequency is another one.
    bool CheckInputRate(int fileRate);
    // For a source that reads far without delivering a frame (a search for sync): shows the
    // progress of the current pass, which lets a front end handle its events, and tells
    // whether the job is asked to stop; the pass then ends as stopped, not as failed.
    bool PollStop();

    // Each pass reads its input on a thread of its own, a few runs ahead of the chain, so
    // that reading (decoding) and the chain run side by side. For a source whose ReadInput
    // and InputPosition touch nothing but its own reading state, and which tells the host
    // only through Fail, ShowStatus, Warn and PollStop; such a source calls StopReading
    // first thing in Close. Called once, when the source is made.
    void ReadInputAhead() { readsAhead = true; }
    // Ends the reading thread, if one runs.
    void StopReading();
    // During ReadInput on the reading thread: where the run may be written in place (room
    // for kMaxRunFrames frames among the runs read ahead), which spares copying it there;
    // null otherwise.
    float* RunRoom() const { return runRoom; }
    // Read ahead: where the runs taken by the job's thread, or a search it was asked to show,
    // ended.
    double ProgressPosition() const override;

  private:
    // Runs read ahead one after the other, with where reading stood after each and what
    // it told before each; `status` is how the last read ended (kFrames: more follow).
    // Several runs a handover: handing over each alone would cost more than reading it.
    struct ReadRuns {
        struct Run {
            std::size_t start = 0;  // in frames
            std::size_t count = 0;
            double position = 0.0;
        };
        struct Told {
            std::size_t beforeRun = 0;
            Notice notice;
        };
        std::vector<float> frames;
        std::vector<Run> runs;
        std::vector<Told> told;
        InputStatus status = InputStatus::kEnd;
        double endPosition = 0.0;
        bool stopped = false;
    };
    static constexpr std::size_t kReadAheadSlots = 6;
    static constexpr std::size_t kRunsPerSlot = 4;

    bool StartPasses() override;
    bool FillChain() override;
    bool HandOver(const Notice& notice) override;
    bool StopDeferred() const override { return stopInSearch; }
    bool AnalysisPass();
    // Reads one run of input into the chain; false at the end of the input or on an error.
    bool Refill();
    // The next run: read now, or taken from those read ahead (valid until the next call).
    InputStatus NextRun(InputRun& run);
    // On the reading thread: the next runs; false when the input ended in them.
    bool ReadRunsAhead(ReadRuns& slot);
    bool OnReadingThread() const { return reading && reading->OnFillerThread(); }

    bool refused = false;
    bool readsAhead = false;
    std::unique_ptr<ReadAhead<ReadRuns>> reading;
    // Read ahead: the runs being taken (null between them), the next of them and its
    // notices, and where the last run taken ended.
    ReadRuns* taken = nullptr;
    std::size_t nextRun = 0;
    std::size_t nextTold = 0;
    double takenPosition = 0.0;
    // A stop came while the reading thread searched: it ends the input where the search stood.
    bool stopInSearch = false;
    // The reading thread's own: what it was told since its last run, and a stop it saw.
    std::vector<Notice> pendingNotices;
    bool readingStopped = false;
    float* runRoom = nullptr;
    // Where a long search of the reading thread stands when it asks the job's thread to show
    // the progress (written before it asks, read while it waits for the answer).
    double polledPosition = 0.0;
};

}  // namespace tavrisk
