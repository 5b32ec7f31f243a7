// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/jobs/RunningJob.h"
#include "app/jobs/WindowJobHost.h"
#include "engines/OutputEngine.h"
#include "sources/GraphPipeSource.h"
#include "sources/SampleSource.h"

namespace tavrisk {

// The Transcode command: reads the job's settings from the model once, checks the names,
// creates the engine of the selected "Output Engine" item and the source that matches the
// input, hands the engine the settings and runs the job on the caller's thread, with `host`
// as its job host. Also the batch loop and the priority combo.
class TranscodeJob {
  public:
    using Outcome = JobOutcome;

    explicit TranscodeJob(WindowJobHost& host) : host(host), model(host.Model()) {}

    // "Transcode": one job, or every entry of the batch list. The outcome of the last job
    // run, or Failed when any batch job failed. A graph job returns Running: it goes on under
    // the host's timer (WindowJobHost::OnTimer).
    Outcome OnTranscode();
    // One job from validation to its end.
    Outcome RunJob();
    // The native source for a job's input.
    std::unique_ptr<SampleSource> CreateSource(const JobSettings& settings);
    // The engine a job's settings name; null with no valid engine.
    std::unique_ptr<OutputEngine> CreateEngine(const JobSettings& settings);
    // The process priority of the "Priority" combo, for every thread; false when refused,
    // after a message, with the combo back on the priority in force.
    bool ApplyPriority();
    // Gives the threads started since (a pipeline's) the priority in force.
    static void SpreadPriority();

  private:
    // The batch's entries from `from` on, after entries that came to `overall`; a graph job
    // returns Running and the rest follow its end (WindowJobHost::SetAfterJob).
    Outcome RunBatch(const std::vector<std::string>& batch, std::size_t from, Outcome overall);
    // The batch's outcome after one more job's: a stop ends it, a failure fails it.
    static Outcome Combined(Outcome overall, Outcome outcome);
    // Renders the graph of the job's input where it is not shown, and takes the rate of its
    // stream; false (after a message) when it cannot be run.
    bool PrepareGraph(JobSettings& settings);
    // The graph half of RunJob: from the engine's Init to the first run of the pipeline.
    Outcome StartGraphJob(std::unique_ptr<OutputEngine> engine, GraphPipeSource& source,
                          const std::string& input);
    // Refuses missing names, an output that is the input, and (unless the user agrees) one
    // that would overwrite existing files.
    bool CheckNames(const JobSettings& settings);
    // The files a job's engine writes: the output, or the six files in its folder.
    static std::vector<std::string> OutputFiles(const JobSettings& settings);

    WindowJobHost& host;
    TranscoderDialog& model;
};

}  // namespace tavrisk
