// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "host/JobHost.h"
#include "host/JobSettings.h"

namespace tavrisk::test {

// A job host for tests: a job's settings as plain fields (Settings() gathers them), and a record of
// everything the job showed. `onProgress` runs at every progress call (to ask for a stop, say). A
// running job from the start: the stop request is cleared.
class FakeJobHost : public JobHost {
  public:
    struct Message {
        std::string text;
        std::string title;
        bool operator==(const Message&) const = default;
    };

    FakeJobHost() { ClearStop(); }

    bool UpdateProgress(float percent, bool reset) override {
        progress.push_back(percent);
        if (reset) resets.push_back(percent);
        if (onProgress) onProgress();
        return StopRequested();
    }
    void SetStatusText(const std::string& text) override { status = text; }
    void ShowPeakLevels(const std::array<float, kColumns>& levelsDb) override {
        peaks = levelsDb;
        ++peakDisplays;
    }
    MessageAnswer MessageBox(std::string_view text, std::string_view title, MessageButtons buttons,
                             MessageIcon) override {
        messages.push_back({std::string(text), std::string(title)});
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : answer;
    }
    void ReportWarnings(std::string_view text, std::string_view title) override {
        warnings.push_back({std::string(text), std::string(title)});
    }
    // The job's settings from the fields below.
    JobSettings Settings(const std::string& input = {}, const std::string& output = {}) const {
        JobSettings job;
        job.inputName = input;
        job.outputName = output;
        job.inputRate = inputRate;
        job.outputRate = outputRate;
        job.resample = outputRate != inputRate;
        job.resampler = resamplerKind;
        job.resyncMs = resyncMs;
        job.channels = channels;
        job.channels.outputRate = outputRate;
        job.channels.controls = controls;
        job.wavOrder = wavOrder;
        return job;
    }
    ChannelControls CurrentChannelControls() const override {
        ++controlReads;
        return controls;
    }

    // Settings.
    int outputRate = 48000;
    int inputRate = 48000;
    ResamplerKind resamplerKind = ResamplerKind::kSoxr;
    int32_t resyncMs = 0;
    WavChannelOrder wavOrder = WavChannelOrder::kStandard;
    ChannelJobSettings channels;  // switches and curves (rate and controls from the fields)
    ChannelControls controls;
    MessageAnswer answer = MessageAnswer::Ok;
    std::function<void()> onProgress;

    // What the job showed.
    std::vector<float> progress;
    std::vector<float> resets;
    std::string status;
    std::array<float, kColumns> peaks{};
    int peakDisplays = 0;
    std::vector<Message> messages;
    std::vector<Message> warnings;
    mutable int controlReads = 0;
};

}  // namespace tavrisk::test
