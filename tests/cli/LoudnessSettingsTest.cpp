// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/model/LoudnessSetting.h"
#include "app/model/TranscoderDialog.h"
#include "app/model/WavOrderSetting.h"
#include "cli/CommandLine.h"
#include "tests/support/RecordingInterface.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

class LoudnessSettings : public ::testing::Test {
  protected:
    test::RecordingInterface ui;
    TranscoderDialog window{ui};
    const LoudnessControlStates& loudness = window.LoudnessControls();
};

// The presets set the target; a target of a preset selects it, any other one "Custom";
// values out of range are kept in range; the job takes them.
TEST_F(LoudnessSettings, PresetsAndTargetFollowEachOtherIntoTheJob) {
    // A preset chosen (or -1: the target set), then the preset and target shown.
    struct Step {
        int preset, expectedPreset;
        double target, expectedTarget;
    } const steps[] = {
        {1, 1, 0.0, -24.0}, {2, 2, 0.0, -27.0},    {-1, 0, -23.0, -23.0}, {-1, 3, -19.5, -19.5},
        {3, 3, 0.0, -19.5}, {-1, 3, -99.0, -70.0}, {-1, 3, 3.0, -5.0},
    };
    for (const Step& step : steps) {
        if (step.preset >= 0)
            window.SelectLoudnessPreset(step.preset);
        else
            window.SetLoudnessTarget(step.target);
        EXPECT_EQ(loudness.preset.selected, step.expectedPreset);
        EXPECT_DOUBLE_EQ(loudness.values.targetLufs, step.expectedTarget);
    }
    window.SelectNormalizeKind(LoudnessControlStates::kLoudnessItem);
    window.SetTruePeakCeiling(-2.0);
    const JobSettings job = window.JobSettingsForJob();
    EXPECT_EQ(job.loudness.kind, NormalizeKind::kLoudness);
    EXPECT_DOUBLE_EQ(job.loudness.targetLufs, -5.0);
    EXPECT_DOUBLE_EQ(job.loudness.ceilingDbtp, -2.0);
}

// The settings file keeps kind, target and ceiling, and refuses values it cannot read,
// naming them, while keeping the others.
TEST_F(LoudnessSettings, TheSettingsFileKeepsThemAndNamesWhatItCannotRead) {
    test::TempDir dir;
    const std::string ini = dir.File("tavrisk.ini");
    std::ofstream(ini) << "[OUTPUT]\nWAV_ORDER=film\n";
    const LoudnessNormalization kept{NormalizeKind::kLoudness, -27.0, -2.0};
    ASSERT_TRUE(LoudnessSetting::Write(ini, kept));
    std::string problem;
    EXPECT_EQ(LoudnessSetting::Read(ini, problem), kept);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(WavOrderSetting::Read(ini, problem), WavChannelOrder::kFilm);

    std::ofstream(ini) << "[LOUDNESS]\nKIND=loud\nTARGET=-23.0\nTRUE_PEAK=3\n";
    const LoudnessNormalization read = LoudnessSetting::Read(ini, problem);
    EXPECT_EQ(read.kind, NormalizeKind::kPeak);
    EXPECT_DOUBLE_EQ(read.ceilingDbtp, LoudnessNormalization::kDefaultCeilingDbtp);
    EXPECT_NE(problem.find("KIND=loud"), std::string::npos);
    EXPECT_NE(problem.find("TRUE_PEAK=3"), std::string::npos);
}

// --normalize alone keeps the peaks; loudness takes an optional target; values out of
// range are refused with their option.
TEST_F(LoudnessSettings, TheCommandLineSetsKindTargetAndCeiling) {
    constexpr auto kPeak = NormalizeKind::kPeak;
    constexpr auto kLoudness = NormalizeKind::kLoudness;
    struct Case {
        const char* args;
        bool parses;
        NormalizeKind kind;
        double target, ceiling;
    } const cases[] = {
        {"--normalize", true, kPeak, -23.0, -1.0},
        {"--normalize peak", true, kPeak, -23.0, -1.0},
        {"--normalize loudness", true, kLoudness, -23.0, -1.0},
        {"--normalize loudness:-27 --true-peak -2", true, kLoudness, -27.0, -2.0},
        {"--normalize loudness:-2", false, kPeak, 0, 0},
        {"--normalize loudness:x", false, kPeak, 0, 0},
        {"--normalize --true-peak 1", false, kPeak, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::vector<std::string> args = {"in.wav", "out.mp2"};
        std::istringstream words(c.args);
        for (std::string word; words >> word;) args.push_back(word);
        std::string error;
        const auto options = CommandLine::Parse(args, error);
        ASSERT_EQ(options.has_value(), c.parses) << error;
        if (!options) continue;
        TranscoderDialog model{ui};
        ASSERT_TRUE(CommandLine::Apply(*options, model, error)) << error;
        const JobSettings job = model.JobSettingsForJob();
        EXPECT_TRUE(job.channels.normalize);
        EXPECT_EQ(job.loudness.kind, c.kind);
        EXPECT_DOUBLE_EQ(job.loudness.targetLufs, c.target);
        EXPECT_DOUBLE_EQ(job.loudness.ceilingDbtp, c.ceiling);
    }
}

}  // namespace
}  // namespace tavrisk
