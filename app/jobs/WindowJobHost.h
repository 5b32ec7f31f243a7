// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/jobs/JobResult.h"
#include "app/jobs/RunningJob.h"
#include "app/model/TranscoderDialog.h"
#include "host/JobHost.h"

namespace tavrisk {

// The job host of the jobs a front end starts from the settings model: it gives them the
// model's settings, shows their progress, status and peaks in the model's controls (queued
// to the front end's thread when they come from another one), puts their messages in the
// front end's boxes, and owns the job that runs on under its timer (a graph job).
class WindowJobHost : public JobHost {
  public:
    // Milliseconds since an arbitrary start, as the platform's tick count.
    using TickSource = std::function<uint32_t()>;

    explicit WindowJobHost(TranscoderDialog& model, TickSource ticks = {});
    ~WindowJobHost() override;
    WindowJobHost(const WindowJobHost&) = delete;
    WindowJobHost& operator=(const WindowJobHost&) = delete;

    TranscoderDialog& Model() { return model; }
    UserInterface& Ui() { return model.Ui(); }

    // --- JobHost -------------------------------------------------------------------------
    // Shows progress and times, pumps the front end's events; true when the job is asked
    // to stop.
    bool UpdateProgress(float percent, bool reset) override;
    void SetStatusText(const std::string& text) override;
    void ShowPeakLevels(const std::array<float, kColumns>& levelsDb) override;
    MessageAnswer MessageBox(std::string_view text, std::string_view title,
                             MessageButtons buttons = MessageButtons::Ok,
                             MessageIcon icon = MessageIcon::Stop) override;
    // Shows the warnings and keeps that the running job had some (HadWarnings).
    void ReportWarnings(std::string_view text, std::string_view title) override;
    // Keeps the figures (LoudnessReports) and shows the summary line in the status line.
    void ReportLoudness(const JobLoudness& loudness) override;
    ChannelControls CurrentChannelControls() const override {
        return model.CurrentChannelControls();
    }

    // --- A job ---------------------------------------------------------------------------
    // Takes the start time of a job (or batch) from the tick source.
    void MarkStart();
    // No job runs, or the running one was asked to stop.
    bool JobStopped() const { return StopRequested(); }
    // The running job's source reported warnings: it completed with warnings. Cleared by
    // whoever starts a job.
    bool HadWarnings() const { return warnings; }
    void ClearWarnings() { warnings = false; }
    // The loudness of every job that ran to its end since ClearLoudnessReports.
    const std::vector<JobLoudness>& LoudnessReports() const { return loudnessReports; }
    void ClearLoudnessReports() { loudnessReports.clear(); }
    // Where the last job's outputs were kept (none when it wrote nothing); set at its end.
    const std::vector<KeptOutput>& JobOutputs() const { return jobOutputs; }
    void KeepJobOutputs(std::vector<KeptOutput> kept) { jobOutputs = std::move(kept); }
    // The audio the last job wrote, in frames at its output rate; set at its end.
    void KeepJobAudioFrames(uint64_t frames) { jobAudioFrames = frames; }
    // What the last job did, for its result line: its outcome, output, audio, time taken
    // since MarkStart and the progress it reached.
    JobResult LastJobResult(JobOutcome outcome) const;
    // "Exit" or the close box: true when the window may close (the changed filter settings
    // are saved then). During a job, asks whether to stop it.
    bool OnOK();

    // --- A job running on under its timer (a graph job) ------------------------------------
    void StartRunningJob(std::unique_ptr<RunningJob> job);
    bool HasRunningJob() const { return runningJob != nullptr; }
    // The job timer's tick: true while the job runs. When it has ended, "Transcode" is on
    // again and FinishedOutcome tells how it ended.
    bool OnTimer();
    JobOutcome FinishedOutcome() const { return finishedOutcome; }
    // The pipeline posted a message: a job whose pipeline has ended ends now, as at a tick
    // (OnTimer tells the same). False when no job runs on.
    bool OnPipelineEvent();
    // What follows the running job (a batch's next entries): called once it has ended, with
    // its outcome; it returns Running when it started another job under the timer, else the
    // outcome to tell (FinishedOutcome).
    using AfterJob = std::function<JobOutcome(JobOutcome)>;
    void SetAfterJob(AfterJob next) { afterJob = std::move(next); }

  private:
    // One tick or pipeline message of the running job; ends it when it has ended.
    bool StepRunningJob(bool (RunningJob::*step)());
    // The running job has ended: its outcome and outputs are kept, "Transcode" is on again,
    // and what follows it starts; true when that is another job, running under the timer.
    bool EndRunningJob();
    uint32_t TickSeconds() const;
    // Progress, times and bar from a percentage, on the front end's thread.
    void ShowProgress(float percent);

    TranscoderDialog& model;
    TickSource ticks;
    int32_t startSeconds = 0;
    uint32_t startTicks = 0;
    float lastPercent = 0.0f;
    uint64_t jobAudioFrames = 0;
    std::atomic<bool> warnings{false};
    std::unique_ptr<RunningJob> runningJob;
    bool stepping = false;  // a step of the running job is under way
    AfterJob afterJob;
    JobOutcome finishedOutcome = JobOutcome::Done;
    std::vector<KeptOutput> jobOutputs;
    std::vector<JobLoudness> loudnessReports;
    // Progress reported from another thread, shown by one queued update at a time.
    std::atomic<float> postedPercent{0.0f};
    std::atomic<bool> progressPosted{false};
};

}  // namespace tavrisk
