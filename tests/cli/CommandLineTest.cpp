// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/model/TranscoderDialog.h"
#include "cli/CommandLine.h"
#include "platform/UsableCores.h"
#include "tests/support/RecordingInterface.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

std::optional<CliOptions> Parse(std::vector<std::string> args, std::string* errorOut = nullptr) {
    std::string error;
    auto options = CommandLine::Parse(args, error);
    if (errorOut) *errorOut = error;
    return options;
}

TEST(CommandLine, OptionsSetTheModelAsAUserWould) {
    auto options = Parse({"in.ac3",    "/out/x.wav", "--engine",    "wav",
                          "--rate",    "44100",      "--normalize", "--normalize-link",
                          "1",         "--gain",     "L=50",        "--route",
                          "C=L",       "--drp",      "--drp-link",  "0",
                          "--release", "lfe=120",    "--resync",    "+0:01:02.5",
                          "--yes"});
    ASSERT_TRUE(options);
    test::RecordingInterface ui;
    TranscoderDialog window(ui);
    std::string error;
    ASSERT_TRUE(CommandLine::Apply(*options, window, error)) << error;
    EXPECT_FALSE(window.GraphProcessing());
    EXPECT_EQ(window.Controls().inputName.text, "in.ac3");
    EXPECT_EQ(window.Controls().outputName.text, "/out/x.wav");  // typed names are used as typed
    EXPECT_STREQ(window.SelectedEngine()->cliName, "wav");
    EXPECT_TRUE(window.ResamplingNeeded());
    EXPECT_TRUE(window.IsNormalizeOn());
    EXPECT_EQ(window.SliderPosition(1), 50);  // R linked with L
    EXPECT_EQ(window.Routing()[2], 0);
    EXPECT_EQ(window.Routing()[0], 2);  // FixRouting swapped the old choice
    EXPECT_TRUE(window.IsDrpOn());
    EXPECT_EQ(window.DrpLinkMode(), 0);
    EXPECT_EQ(window.Curve(3).GetReleaseMs(), 120);
    ASSERT_TRUE(window.UpdateData());
    EXPECT_EQ(window.GetResyncMs(), 62500);
    EXPECT_TRUE(ui.messages.empty());
}

// What the options set reaches the views: every control they change is announced.
TEST(CommandLine, OptionsChangeTheModelThroughItsHandlers) {
    test::RecordingInterface ui;
    TranscoderDialog window(ui);
    std::string error;
    ASSERT_TRUE(CommandLine::Apply(
        *Parse({"--batch", "a.ac3", "--bitrate", "112", "--priority", "idle", "--resync", "+1:2:3",
                "--release", "C=90", "--wav-order", "film"}),
        window, error))
        << error;
    for (const int id : {ctl::kBitrate, ctl::kPriority, ctl::kResyncHours, ctl::kResyncMinutes,
                         ctl::kResyncSeconds, ctl::kResyncMs, ctl::kBatch, ctl::kCurveView[2]})
        EXPECT_NE(std::find(ui.changed.begin(), ui.changed.end(), id), ui.changed.end()) << id;
    EXPECT_EQ(window.Controls().batchList, std::vector<std::string>{"a.ac3"});
    EXPECT_EQ(window.Controls().priority.selected, 1);
    EXPECT_EQ(window.GetWavOrder(), WavChannelOrder::kFilm);
}

// Adding an engine to the table names it in the help, and the README must list it too.
// --settings starts from the window's settings; the options given override them, and
// a settings file that cannot be read is refused.
TEST(CommandLine, SettingsFileIsTheStartAndOptionsOverrideIt) {
    test::TempDir dir;
    const std::string settings = dir.File("tavrisk.ini");
    std::ofstream(settings) << "[Window]\nEngine=wav\nBitrate=192\nHighQuality=0\nDrp=1\n";
    test::RecordingInterface ui;
    std::string error;
    TranscoderDialog window(ui);
    ASSERT_TRUE(CommandLine::Apply(
        *Parse({"in.ac3", "out.mp2", "--settings", settings, "--drp-link", "2"}), window, error));
    EXPECT_STREQ(window.SelectedEngine()->cliName, "wav");
    EXPECT_EQ(window.GetResamplerKind(), ResamplerKind::kLinear);
    EXPECT_TRUE(window.IsDrpOn());
    ASSERT_TRUE(CommandLine::Apply(
        *Parse({"i.ac3", "o.mp2", "--settings", settings, "--engine", "mp2"}), window, error));
    EXPECT_STREQ(window.SelectedEngine()->cliName, "mp2");
    EXPECT_FALSE(CommandLine::Apply(*Parse({"in.ac3", "o.mp2", "--settings", dir.File("no")}),
                                    window, error));
    EXPECT_EQ(error, "cannot read the settings file '" + dir.File("no") + "'");
}

TEST(CommandLine, HelpAndReadmeListTheEnginesOfTheTable) {
    std::string names;
    for (const OutputEngineKind& engine : OutputEngineKinds()) {
        if (!names.empty()) names += '|';
        names += engine.cliName;
        EXPECT_EQ(Parse({"a", "b", "--engine", engine.cliName})->engineItem,
                  &engine - OutputEngineKinds().data());
    }
    const std::string usage = CommandLine::Usage();
    EXPECT_NE(usage.find("  --engine " + names +
                         "  output engine (default mp2); pcm and wav-mono\n" +
                         std::string(33, ' ') + "write six mono files into the folder OUTPUT\n"),
              std::string::npos);
    EXPECT_NE(usage.find("INPUT (.ac3, .avi, six-channel .wav; with\n"), std::string::npos);
    std::ifstream readme(TAVRISK_README);
    std::stringstream text;
    text << readme.rdbuf();
    EXPECT_NE(text.str().find("`--engine " + names + "`"), std::string::npos);
}

TEST(CommandLine, BadValuesAreRefusedWithTheirOption) {
    std::string error;
    EXPECT_FALSE(Parse({"a", "b", "--engine", "ogg"}, &error));
    EXPECT_NE(error.find("--engine"), std::string::npos);
    EXPECT_FALSE(Parse({"a", "b", "--gain", "X=5"}));
    EXPECT_FALSE(Parse({"a", "b", "--gain", "L=101"}));
    EXPECT_FALSE(Parse({"a", "b", "--resync", "0:1:2"}));  // no direction
    EXPECT_FALSE(Parse({"a", "b", "--resync", "+0:1:75"}, &error));
    EXPECT_EQ(error,
              "invalid value '+0:1:75' for --resync: Resync seconds: please enter an integer "
              "between 0 and 59.");
    EXPECT_FALSE(Parse({"a", "b", "--resync", "-0:1:2.1234"}));
    EXPECT_FALSE(Parse({"a", "b", "--rate", "32000"}));
    EXPECT_FALSE(Parse({"a", "b", "--resampler", "cubic"}));
    EXPECT_FALSE(Parse({"a", "b", "--wav-order", "smpte"}));
    EXPECT_FALSE(Parse({"a", "--rate"}));
    EXPECT_FALSE(Parse({"a"}));
    EXPECT_FALSE(Parse({"a", "b", "--frobnicate"}));
    EXPECT_TRUE(Parse({"--batch", "a", "b"})->batch);
}

// The encoder's threads: by default the cores the process may use, as in the window.
TEST(CommandLine, ThreadsReachTheJobAndDefaultToTheUsableCores) {
    test::RecordingInterface ui;
    TranscoderDialog window(ui);
    EXPECT_EQ(window.JobSettingsForJob().encoderThreads,
              std::min(UsableCores(), TranscoderDialog::kMaxEncoderThreads));
    std::string error;
    ASSERT_TRUE(CommandLine::Apply(*Parse({"a.ac3", "b.mp2", "--threads", "3"}), window, error));
    EXPECT_EQ(window.JobSettingsForJob().encoderThreads, 3);
    for (const char* refused : {"0", "-2", "x", "65"}) {
        EXPECT_FALSE(Parse({"a", "b", "--threads", refused}, &error));
        EXPECT_NE(error.find("--threads"), std::string::npos) << refused;
    }
}

// "--" ends the options: every word after it is a file, even one that looks like an option.
TEST(CommandLine, DoubleDashEndsTheOptions) {
    EXPECT_EQ(Parse({"--yes", "--", "-x.wav", "--rate"})->output, "--rate");
    EXPECT_EQ(Parse({"--", "--", "out.mp2"})->input, "--");
    EXPECT_FALSE(Parse({"in.wav", "--", "out.mp2", "--yes"}));
    EXPECT_EQ(Parse({"--batch", "--", "-a.ac3"})->batchFiles, (std::vector<std::string>{"-a.ac3"}));
    test::TempDir dir;
    test::WritePlainWav(dir.File("-x.wav"),
                        test::MakeTones({{300, 500, 700, 900, 1100, 60}}, 48000, 4800));
    const test::CommandResult run =
        test::RunCommand("cd " + test::Quote(dir.Path().string()) + " && " +
                         test::Quote(test::BinPath("tavrisk-cli")) +
                         " --engine wav --yes -- -x.wav -x.out.wav 2>&1");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(test::ReadWav(dir.File("-x.out.wav")).channels, 6);
}

TEST(CommandLine, ResamplerChoosesTheRateConversionAsTheHighQualityBoxDoes) {
    test::RecordingInterface ui;
    TranscoderDialog window(ui);
    std::string error;
    ASSERT_TRUE(CommandLine::Apply(*Parse({"a", "b", "--resampler", "linear"}), window, error));
    EXPECT_FALSE(window.Controls().highQuality.checked);
    EXPECT_EQ(window.GetResamplerKind(), ResamplerKind::kLinear);
    // Without the option: libsoxr, whatever the window showed before.
    ASSERT_TRUE(CommandLine::Apply(*Parse({"a", "b", "--rate", "44100"}), window, error));
    EXPECT_TRUE(window.Controls().highQuality.checked);
    EXPECT_EQ(window.GetResamplerKind(), ResamplerKind::kSoxr);
}

TEST(CommandLine, UnsupportedBitrateIsRefusedAndUpsamplingTaken) {
    test::RecordingInterface ui;
    TranscoderDialog window(ui);
    std::string error;
    EXPECT_FALSE(CommandLine::Apply(*Parse({"a", "b", "--bitrate", "100"}), window, error));
    EXPECT_NE(error.find("100"), std::string::npos);
    EXPECT_TRUE(CommandLine::Apply(*Parse({"a", "b", "--bitrate", "112"}), window, error));
    EXPECT_EQ(window.GetBitrate(), 112);
    EXPECT_TRUE(CommandLine::Apply(*Parse({"a", "b", "--input-rate", "44100"}), window, error));
    EXPECT_EQ(window.GetInputRate(), 44100);
    EXPECT_EQ(window.GetOutputRate(), 48000);
    EXPECT_TRUE(ui.Lines().empty());
}

// --channels names the stream's configuration for the job; one a stream cannot carry is
// refused with the reason.
TEST(CommandLine, ChannelsReachTheJobOrAreRefused) {
    test::RecordingInterface ui;
    TranscoderDialog window(ui);
    std::string error;
    ASSERT_TRUE(CommandLine::Apply(*Parse({"a", "b", "--channels", "3/1.1"}), window, error));
    EXPECT_EQ(window.JobSettingsForJob().streamChannels, (ChannelConfiguration{3, 1, true}));
    for (const char* text : {"5.1", "3/2.2", "32", "3/"})
        EXPECT_FALSE(Parse({"a", "b", "--channels", text})) << text;
    for (const auto& [text, reason] :
         {std::pair{"2/0.1", "carries no LFE channel"}, std::pair{"4/1", "there is no 4/1"}}) {
        EXPECT_FALSE(CommandLine::Apply(*Parse({"a", "b", "--channels", text}), window, error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
}

TEST(CommandLine, CurveFilesAreCheckedLineByLine) {
    test::TempDir dir;
    test::WriteBytes(dir.File("ok.txt"), {});
    std::string text = "# in out\n-100 -100\n-20 -20\n0 -10\n";
    test::WriteBytes(dir.File("ok.txt"), std::vector<uint8_t>(text.begin(), text.end()));
    std::vector<float> in, out;
    std::string error;
    ASSERT_TRUE(CommandLine::ReadCurveFile(dir.File("ok.txt"), in, out, error)) << error;
    EXPECT_EQ(in.size(), 3u);
    EXPECT_EQ(out[2], -10.0f);
    text = "-100 -100\n5 0\n";
    test::WriteBytes(dir.File("bad.txt"), std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_FALSE(CommandLine::ReadCurveFile(dir.File("bad.txt"), in, out, error));
    EXPECT_NE(error.find("bad.txt:2"), std::string::npos);
}

}  // namespace
}  // namespace tavrisk
