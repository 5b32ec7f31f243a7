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

    // The output pass reads its input on a thread of its own, a few runs ahead of the chain,
    // so that reading (decoding) and the chain run side by side. For a source whose
    // ReadInput and InputPosition touch nothing but its own reading state, and which tells
    // the host only through Fail, ShowStatus, Warn and PollStop; such a source calls
    // StopReading first thing in Close. Called once, when the source is made.
    void ReadAheadInOutputPass() { readsAhead = true; }
    // Ends the reading thread, if one runs.
    void StopReading();

  private:
    // One run read ahead, with what its reading told.
    struct ReadRun {
        InputStatus status = InputStatus::kEnd;
        std::vector<float> frames;
        std::size_t count = 0;
        double position = 0.0;
        bool stopped = false;
        std::vector<Notice> notices;
    };
    static constexpr std::size_t kReadAheadRuns = 4;

    bool StartPasses() override;
    bool FillChain() override;
    bool HandOver(const Notice& notice) override;
    double ProgressPosition() const override;
    bool AnalysisPass();
    // Reads one run of input into the chain; false at the end of the input or on an error.
    bool Refill();
    // On the reading thread: the next run; false when it is the last one.
    bool ReadRunAhead(ReadRun& run);
    bool OnReadingThread() const { return reading && reading->OnFillerThread(); }

    bool refused = false;
    bool readsAhead = false;
    std::unique_ptr<ReadAhead<ReadRun>> reading;
    // Read ahead: where the last run taken ended.
    double takenPosition = 0.0;
    // The reading thread's own: what it was told since its last run, and a stop it saw.
    std::vector<Notice> pendingNotices;
    bool readingStopped = false;
};

}  // namespace tavrisk
