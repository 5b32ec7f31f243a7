// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "app/jobs/TranscodeJob.h"
#include "tests/support/RecordingInterface.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

constexpr int kRate = 48000;
constexpr double kPi = 3.14159265358979323846;
constexpr double kAmplitude = 16000.0;

// Both passes of a loudness-normalised job through the window's model: the status line sums
// the job up, the peak edits show the input's true peaks (a quarter-rate tone at 45 degrees
// peaks 3 dB above its samples), the job's figures are kept.
TEST(JobLoudness, TheWindowShowsTheSummaryAndTheTruePeaks) {
    test::TempDir dir;
    test::PcmAudio audio{6, kRate, {}};
    for (int i = 0; i < 2 * kRate; ++i) {
        const double quarter = std::sin(kPi * i / 2.0 + kPi / 4.0);
        const double low = std::sin(2.0 * kPi * 500.0 * i / kRate);
        // File order L, C, R, LS, RS, LFE.
        for (double value : {quarter, low, low, low, low, 0.0})
            audio.samples.push_back(static_cast<int16_t>(std::lround(kAmplitude * value)));
    }
    test::WritePlainWav(dir.File("in.wav"), audio);

    test::RecordingInterface ui;
    TranscoderDialog window{ui};
    WindowJobHost jobs{window};
    TranscodeJob job{jobs};
    window.SelectProcessingType(TranscoderDialog::kProcessingNative);
    window.SetInputName(dir.File("in.wav"));
    window.SelectOutputEngine(OutputEngineItemNamed("wav"));
    window.SetOutputName(dir.File("out.wav"));
    window.SetNormalize(true);
    window.SelectNormalizeKind(LoudnessControlStates::kLoudnessItem);
    window.SetLoudnessTarget(-20.0);
    ASSERT_EQ(job.RunJob(), TranscodeJob::Outcome::Done);

    const ControlStates& shown = window.Controls();
    EXPECT_EQ(shown.statusText.text.rfind("Loudness \u221220.0 LUFS, range 0.0 LU, true peak ", 0),
              0u)
        << shown.statusText.text;
    for (int column : {0, 1})
        EXPECT_NEAR(std::stod(shown.peakTexts[column].text), 20 * std::log10(kAmplitude / 32767),
                    0.2);
    EXPECT_EQ(shown.peakTexts[3].text, "-inf dB");
    ASSERT_EQ(jobs.LoudnessReports().size(), 1u);
    const JobLoudness& figures = jobs.LoudnessReports().front();
    ASSERT_TRUE(figures.output && figures.gain);
    EXPECT_NEAR(figures.output->integratedLufs, -20.0, 0.1);
    EXPECT_NEAR(figures.input.integratedLufs + figures.gain->gainDb, -20.0, 0.01);
}

}  // namespace
}  // namespace tavrisk
