// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/jobs/WindowJobHost.h"

#include <chrono>
#include <utility>

namespace tavrisk {

namespace {

constexpr float kFullPercent = 100.0f;

uint32_t SteadyTicks() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

WindowJobHost::WindowJobHost(TranscoderDialog& model, TickSource ticks)
    : model(model), ticks(ticks ? std::move(ticks) : TickSource(SteadyTicks)) {}

WindowJobHost::~WindowJobHost() {
    // A job still running is stopped where it stands; its output is closed validly.
    if (runningJob) RequestStop();
    runningJob.reset();
}

MessageAnswer WindowJobHost::MessageBox(std::string_view text, std::string_view title,
                                        MessageButtons buttons, MessageIcon icon) {
    return Ui().MessageBox(text, title, buttons, icon);
}

void WindowJobHost::ReportWarnings(std::string_view text, std::string_view title) {
    warnings = true;
    Ui().MessageBox(text, title, MessageButtons::Ok, MessageIcon::Exclamation);
}

void WindowJobHost::ReportLoudness(const JobLoudness& loudness) {
    loudnessReports.push_back(loudness);
    const std::string line = loudness.SummaryLine();
    Ui().Post([this, line] { model.ShowJobSummary(line); });
}

void WindowJobHost::MarkStart() {
    startTicks = ticks();
    startSeconds = static_cast<int32_t>(startTicks / 1000u);
    lastPercent = 0.0f;
    jobAudioFrames = 0;
}

JobResult WindowJobHost::LastJobResult(JobOutcome outcome) const {
    JobResult result;
    result.outcome = outcome;
    result.output = model.Controls().outputName.text;
    result.audioFrames = jobAudioFrames;
    result.outputRate = model.GetOutputRate();
    result.elapsedSeconds = static_cast<double>(ticks() - startTicks) / 1000.0;
    result.percent = lastPercent;
    result.kept = jobOutputs;
    return result;
}

uint32_t WindowJobHost::TickSeconds() const {
    return ticks() / 1000u;
}

bool WindowJobHost::UpdateProgress(float percent, bool reset) {
    (void)reset;  // marks the start of a pass; it does not change what is shown
    if (!Ui().OnUiThread()) {
        // From a streaming thread: the latest value is shown by one queued update.
        postedPercent.store(percent, std::memory_order_relaxed);
        if (!progressPosted.exchange(true)) {
            Ui().Post([this] {
                progressPosted.store(false);
                ShowProgress(postedPercent.load(std::memory_order_relaxed));
            });
        }
        return StopRequested();
    }
    ShowProgress(percent);
    Ui().PumpMessages();
    return StopRequested();
}

void WindowJobHost::ShowProgress(float percent) {
    lastPercent = percent;
    float elapsed = static_cast<float>(TickSeconds()) - static_cast<float>(startSeconds);
    if (elapsed < 0.0f) elapsed = 0.0f;
    model.ShowProgress(percent, elapsed);
}

void WindowJobHost::SetStatusText(const std::string& text) {
    if (!Ui().OnUiThread()) {
        Ui().Post([this, text] { SetStatusText(text); });
        return;
    }
    model.SetStatusText(text);
}

void WindowJobHost::ShowPeakLevels(const std::array<float, kColumns>& levelsDb) {
    if (!Ui().OnUiThread()) {
        Ui().Post([this, levelsDb] { ShowPeakLevels(levelsDb); });
        return;
    }
    model.ShowPeakLevels(levelsDb);
}

bool WindowJobHost::OnOK() {
    if (StopRequested() && !runningJob) {
        model.SaveAllFilterSettings();
        return true;
    }
    // A graph job asked to stop ends at its next ticks.
    if (StopRequested()) return false;
    if (MessageBox("Sure to stop ?", "Abort transcoding", MessageButtons::OkCancel,
                   MessageIcon::Question) == MessageAnswer::Ok)
        RequestStop();
    return false;
}

void WindowJobHost::StartRunningJob(std::unique_ptr<RunningJob> job) {
    runningJob = std::move(job);
}

bool WindowJobHost::OnTimer() {
    return StepRunningJob(&RunningJob::OnTimer);
}

bool WindowJobHost::OnPipelineEvent() {
    return StepRunningJob(&RunningJob::OnPipelineEvent);
}

bool WindowJobHost::StepRunningJob(bool (RunningJob::*step)()) {
    if (!runningJob) return false;
    // A message box the step shows runs the front end's events, among them the next tick or
    // pipeline message: that one waits for the step to return.
    if (stepping) return true;
    stepping = true;
    const bool running = (runningJob.get()->*step)();
    stepping = false;
    if (running) return true;
    return EndRunningJob();
}

bool WindowJobHost::EndRunningJob() {
    finishedOutcome = runningJob->Outcome();
    // A job read whole shows all of its progress, whatever update of its streaming thread is
    // still queued: that one now shows the same.
    if (finishedOutcome == JobOutcome::Done || finishedOutcome == JobOutcome::DoneWithWarnings) {
        postedPercent.store(kFullPercent, std::memory_order_relaxed);
        ShowProgress(kFullPercent);
    }
    jobOutputs = runningJob->KeptOutputs();
    jobAudioFrames = runningJob->AudioFrames();
    runningJob.reset();
    RequestStop();
    model.EnableTranscode(true);
    // The next job starts here, before any other event: it turns "Transcode" off again.
    if (AfterJob next = std::exchange(afterJob, nullptr)) {
        finishedOutcome = next(finishedOutcome);
        if (finishedOutcome == JobOutcome::Running) return true;
    }
    Ui().SetBusy(false);
    return false;
}

}  // namespace tavrisk
