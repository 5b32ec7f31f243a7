// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "dsp/ChannelSettings.h"
#include "host/JobLoudness.h"
#include "host/MessageHost.h"

namespace tavrisk {

// What a running job's source and engine need from whoever runs the job: progress, the stop
// request, the status line, the peak display, message boxes and the controls a user may
// change while the job runs (the job's settings are read once, as JobSettings). The jobs'
// host of a front end implements it; tests use a small fake.
//
// The stop request is the one piece of state written and read on different threads (a
// front end's thread asks, a streaming thread reads), so it is atomic. Implementations make
// the other calls safe from the thread the job runs on (a window queues its updates).
class JobHost : public MessageHost {
  public:
    static constexpr int kColumns = ChannelSettings::kColumns;

    virtual ~JobHost() = default;

    // Shows progress in percent; `reset` marks the start of a pass. True when the job is
    // asked to stop.
    virtual bool UpdateProgress(float percent, bool reset) = 0;
    // The input's format, for the status line.
    virtual void SetStatusText(const std::string& text) = 0;
    // Peak levels of the analysis pass, in dB, in column order.
    virtual void ShowPeakLevels(const std::array<float, kColumns>& levelsDb) = 0;
    // What the source overcame in its input (damage replaced by silence, stretches mapped or
    // converted), told once when the input was read to its end: the job completes, with
    // warnings. Shown like a message box with the exclamation icon; the host keeps that the
    // running job had warnings.
    virtual void ReportWarnings(std::string_view text, std::string_view title) = 0;
    // A job that ran to its end: its loudness, for the summary and the report. Called on
    // the thread that ends the job.
    virtual void ReportLoudness(const JobLoudness& loudness) { (void)loudness; }

    // The controls a user may change while a job runs; read at each block boundary, from
    // the job's thread.
    virtual ChannelControls CurrentChannelControls() const = 0;

    // No job running, or one asked to stop: true until a job starts (ClearStop) and again
    // once it is asked to stop or has ended.
    void RequestStop() { stopRequested.store(true, std::memory_order_relaxed); }
    void ClearStop() { stopRequested.store(false, std::memory_order_relaxed); }
    bool StopRequested() const { return stopRequested.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> stopRequested{true};
};

}  // namespace tavrisk
