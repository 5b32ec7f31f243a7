#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "dsp/ChannelSettings.h"
#include "dsp/Resampler.h"
#include "host/MessageHost.h"

namespace tavrisk {

// What a running job's source and engine need from whoever runs the job: progress, the stop
// request, the status line, the peak display, message boxes and the job's settings. The main
// window's model implements it; tests use a small fake.
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

    // Settings of the job: 44100 or 48000 Hz (0 without a selection), the rate conversion
    // switch and its kind, and the resync offset in milliseconds (positive inserts,
    // negative skips).
    virtual int GetOutputRate() const = 0;
    virtual int GetInputRate() const = 0;
    virtual bool ResamplingNeeded() const = 0;
    virtual ResamplerKind GetResamplerKind() const = 0;
    virtual int32_t GetResyncMs() const = 0;
    // The channel settings fixed for a job, read when its source is created.
    virtual ChannelJobSettings ChannelSettingsForJob() = 0;
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
