#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/RunningJob.h"
#include "app/WindowJobHost.h"
#include "engines/OutputEngine.h"
#include "sources/GraphPipeSource.h"
#include "sources/SampleSource.h"

namespace tavrisk {

// The Transcode command: checks the names, creates the engine of the selected "Output
// Engine" item and the source that matches the input, hands the engine its argument vector
// and runs the job on the caller's thread, with `host` as its job host. Also the batch loop
// and the priority combo.
class TranscodeJob {
  public:
    using Outcome = JobOutcome;
    static constexpr int kArgc = 15;

    explicit TranscodeJob(WindowJobHost& host) : host(host), model(host.Model()) {}

    // "Transcode": one job, or every entry of the batch list. The outcome of the last job
    // run, or Failed when any batch job failed. A graph job returns Running: it goes on under
    // the host's timer (WindowJobHost::OnTimer).
    Outcome OnTranscode();
    // One job from validation to its end.
    Outcome RunJob();
    // The source for the current input and processing type.
    std::unique_ptr<SampleSource> CreateSource();
    // The engine for the selected "Output Engine" item; null with no valid item.
    std::unique_ptr<OutputEngine> CreateEngine();
    // The process priority of the "Priority" combo; false (after a message) when refused.
    bool ApplyPriority();

    // The argument vector of the current settings (kept for inspection by tests).
    const std::array<std::string, kArgc>& Arguments() const { return arguments; }

  private:
    // The graph half of RunJob: from the engine's Init to the first run of the pipeline.
    Outcome StartGraphJob(std::unique_ptr<OutputEngine> engine, GraphPipeSource& source);
    void BuildArguments();
    // Refuses missing names, an output that is the input, and (unless the user agrees) one
    // that would overwrite existing files.
    bool CheckNames();
    // The files the selected engine writes: the output, or the six files in its folder.
    std::vector<std::string> OutputFiles() const;

    WindowJobHost& host;
    TranscoderDialog& model;
    std::array<std::string, kArgc> arguments;
};

}  // namespace tavrisk
