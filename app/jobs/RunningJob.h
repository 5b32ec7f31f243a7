// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "platform/OutputFile.h"

namespace tavrisk {

// How a job ended (or that it still runs on, driven by its timer).
enum class JobOutcome {
    Done,              // ran to the end of the input
    DoneWithWarnings,  // ran to the end, but the source reported damage it went past
    Stopped,           // the user stopped it; what was written is closed validly
    Refused,           // a check or question ended it before anything was written
    Failed,            // the engine, the source or the graph failed and said why
    Running,           // started; it runs on under its timer (a graph job)
};

// A job that runs on after the Transcode command returned: a graph job, fed by the pipeline's
// streaming thread and driven by a timer on the window's thread.
class RunningJob {
  public:
    // Period of the job's timer.
    static constexpr int kTimerMs = 1000;

    virtual ~RunningJob() = default;
    // One tick of the timer, on the window's thread: true while the job runs.
    virtual bool OnTimer() = 0;
    // The pipeline posted a message, on the window's thread: a job whose pipeline has ended
    // ends now rather than at the next tick. True while the job runs.
    virtual bool OnPipelineEvent() = 0;
    // How it ended, once OnTimer returned false.
    virtual JobOutcome Outcome() const = 0;
    // Where its outputs were kept, once it ended.
    virtual std::vector<KeptOutput> KeptOutputs() const = 0;
    // Audio it wrote, in frames at the output rate, once it ended.
    virtual uint64_t AudioFrames() const { return 0; }
};

}  // namespace tavrisk
