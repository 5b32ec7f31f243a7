// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <regex>

#include "cli/ExitStatus.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::Quote;

constexpr int kRate = 48000;
constexpr double kPi = 3.14159265358979323846;
constexpr double kOff = -200.0;  // a silent channel, in dBFS
// Sine levels in the file order L, C, R, LS, RS, LFE.
using Levels = std::array<double, 6>;

struct Segment {
    double seconds;
    Levels dbfs;
};

Levels Stereo(double dbfs) {
    return {dbfs, kOff, dbfs, kOff, kOff, kOff};
}

// Sines of `frequency` (a start phase of `phase`) at each channel's level, segment after
// segment, as a six-channel 16-bit WAV.
void WriteProgramme(const std::string& path, const std::vector<Segment>& segments,
                    double frequency = 1000.0, double phase = 0.0) {
    test::PcmAudio audio{6, kRate, {}};
    std::size_t n = 0;
    for (const Segment& segment : segments) {
        const auto frames = static_cast<std::size_t>(segment.seconds * kRate);
        for (std::size_t i = 0; i < frames; ++i, ++n) {
            const double wave = std::sin(2.0 * kPi * frequency * n / kRate + phase);
            for (double level : segment.dbfs) {
                const double amplitude = 32767.0 * std::pow(10.0, level / 20.0);
                audio.samples.push_back(static_cast<int16_t>(std::lround(amplitude * wave)));
            }
        }
    }
    test::WritePlainWav(path, audio);
}

// One figure of a `--report` document: `key` of the `section` ("input_loudness", ...).
double Figure(const std::string& json, const std::string& section, const std::string& key) {
    const std::regex pattern("\"" + section + "\": \\{[^}]*\"" + key + "\": (-?[0-9.]+|null)");
    std::smatch match;
    if (!std::regex_search(json, match, pattern)) return NAN;
    return match[1] == "null" ? -INFINITY : std::stod(match[1]);
}

class Loudness : public ::testing::Test {
  protected:
    // `tavrisk-cli ARGS --report`: the exit status, and the report's text.
    int Run(const std::string& args, std::string& report) {
        const std::string path = dir.File("report.json");
        std::filesystem::remove(path);
        last = test::RunCli(args + " --yes --report " + Quote(path));
        const std::vector<uint8_t> bytes =
            std::filesystem::exists(path) ? test::ReadBytes(path) : std::vector<uint8_t>{};
        report.assign(bytes.begin(), bytes.end());
        return last.exitCode;
    }
    int Transcode(const std::string& options, const std::string& input, const std::string& output,
                  std::string& report) {
        return Run(options + " " + Quote(input) + " " + Quote(output), report);
    }
    std::string Measure(const std::string& input, const std::string& options = "") {
        std::string report;
        EXPECT_EQ(Run("measure " + options + " " + Quote(input), report), kExitDone) << last.output;
        return report;
    }

    test::TempDir dir;
    test::CommandResult last;
};

// EBU Tech 3341 (integrated loudness, true peak) and Tech 3342 (loudness range) through a
// whole job; case 5 and the loudness-range cases are shortened in proportion.
TEST_F(Loudness, TheEbuTestSignalsReadWithinTheirTolerances) {
    const Levels fiveOne = {-28.0, -24.0, -28.0, -30.0, -30.0, kOff};
    Levels fiveOneLfe = fiveOne;
    fiveOneLfe[5] = -20.0;
    struct Expected {
        const char* key;
        double value, below, above;
    };
    const auto lufs = [](double value) { return Expected{"integrated_lufs", value, 0.1, 0.1}; };
    const auto lu = [](double value) { return Expected{"range_lu", value, 1.0, 1.0}; };
    const auto dbtp = [](double value) { return Expected{"true_peak_dbtp", value, 0.4, 0.2}; };
    struct Case {
        const char* name;
        std::vector<Segment> segments;
        Expected expected;
        double frequency = 1000.0, phase = 0.0;
    } const cases[] = {
        {"3341-1", {{20, Stereo(-23)}}, lufs(-23)},
        {"3341-2", {{20, Stereo(-33)}}, lufs(-33)},
        {"3341-3", {{10, Stereo(-36)}, {60, Stereo(-23)}, {10, Stereo(-36)}}, lufs(-23)},
        {"3341-4",
         {{10, Stereo(-72)},
          {10, Stereo(-36)},
          {60, Stereo(-23)},
          {10, Stereo(-36)},
          {10, Stereo(-72)}},
         lufs(-23)},
        {"3341-5", {{10, Stereo(-26)}, {10.05, Stereo(-20)}, {10, Stereo(-26)}}, lufs(-23)},
        {"3341-6 (5.1)", {{20, fiveOne}}, lufs(-23)},
        {"5.1, the LFE not counted", {{20, fiveOneLfe}}, lufs(-23)},
        {"3342-1", {{15, Stereo(-20)}, {15, Stereo(-30)}}, lu(10)},
        {"3342-2", {{15, Stereo(-20)}, {15, Stereo(-15)}}, lu(5)},
        {"3342-3", {{15, Stereo(-40)}, {15, Stereo(-20)}}, lu(20)},
        // A quarter of the rate at 45 degrees: samples at -3.01 dBFS, peaks between at 0.
        {"3341-15 inter-sample peak", {{2, Stereo(0)}}, dbtp(0), 12000.0, kPi / 4},
        {"1 kHz at -6 dBFS", {{2, Stereo(-6)}}, dbtp(-6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = dir.File("signal.wav");
        WriteProgramme(input, c.segments, c.frequency, c.phase);
        const Expected& e = c.expected;
        const double value = Figure(Measure(input), "input_loudness", e.key);
        EXPECT_GE(value, e.value - e.below);
        EXPECT_LE(value, e.value + e.above);
    }
}

// A 5.1 programme at -31 LUFS normalised to -23 reads -23 from the decoded MP2, its true
// peak under the ceiling, its channels' balance as it was.
TEST_F(Loudness, LoudnessNormalisationReachesItsTargetAndKeepsTheBalance) {
    const std::string input = dir.File("quiet.wav");
    WriteProgramme(input, {{12, {-34.2, -31.2, -34.7, -38.2, -39.2, -36.2}}}, 440.0);
    const double measured = Figure(Measure(input), "input_loudness", "integrated_lufs");
    ASSERT_NEAR(measured, -31.0, 0.5);

    const std::string output = dir.File("loud.mp2");
    const std::string decoded = dir.File("decoded.wav");
    std::string report;
    ASSERT_EQ(Transcode("--normalize loudness:-23", input, output, report), kExitDone);
    EXPECT_NEAR(Figure(report, "normalization", "gain_db"), -23.0 - measured, 0.05);
    ASSERT_EQ(test::RunCli("decode " + Quote(output) + " " + Quote(decoded)).exitCode, kExitDone);
    const std::string again = Measure(decoded);
    EXPECT_NEAR(Figure(again, "input_loudness", "integrated_lufs"), -23.0, 0.2);
    EXPECT_LE(Figure(again, "input_loudness", "true_peak_dbtp"), -1.0);

    const test::PcmAudio before = test::ReadWav(input), after = test::ReadWav(decoded);
    const auto gain = [&](int channel) {
        return 20.0 *
               std::log10(test::Rms(after.Channel(channel)) / test::Rms(before.Channel(channel)));
    };
    for (int channel = 1; channel < 5; ++channel) EXPECT_NEAR(gain(channel), gain(0), 0.05);
}

// A gain the true-peak ceiling cannot take stops short of it, and the job says so.
TEST_F(Loudness, TheCeilingLowersTheGainWithAWarning) {
    const std::string input = dir.File("peaky.wav");
    WriteProgramme(input, {{8, Stereo(-30)}, {0.2, Stereo(-3)}, {8, Stereo(-30)}});
    const std::string output = dir.File("out.wav");
    std::string report;
    EXPECT_EQ(
        Transcode("--engine wav --normalize loudness:-16 --true-peak -1.5", input, output, report),
        kExitWarnings);
    EXPECT_TRUE(test::Says(last, "true-peak ceiling of \u22121.5 dBTP"));
    EXPECT_TRUE(test::Says(last, "the output reaches"));
    EXPECT_NE(report.find("\"limited_by_ceiling\": true"), std::string::npos);
    const std::string again = Measure(output);
    EXPECT_LE(Figure(again, "input_loudness", "true_peak_dbtp"), -1.5 + 0.05);
    EXPECT_NEAR(Figure(again, "input_loudness", "integrated_lufs"),
                Figure(report, "normalization", "reached_lufs"), 0.1);
}

// Without the measurement a job writes the same output and reports no figures; loudness
// normalisation still measures what it needs.
TEST_F(Loudness, TheMeasurementCanBeLeftOut) {
    const std::string input = dir.File("in.wav");
    WriteProgramme(input, {{3, Stereo(-30)}});
    const std::string measured = dir.File("measured.wav");
    const std::string plain = dir.File("plain.wav");
    std::string report;
    ASSERT_EQ(Transcode("--engine wav", input, measured, report), kExitDone);
    ASSERT_EQ(Transcode("--engine wav --no-loudness", input, plain, report), kExitDone);
    EXPECT_EQ(test::ReadBytes(measured), test::ReadBytes(plain));
    EXPECT_EQ(report.find("integrated_lufs"), std::string::npos);
    ASSERT_EQ(
        Transcode("--engine wav --no-loudness --normalize loudness:-20", input, plain, report),
        kExitDone);
    EXPECT_NEAR(Figure(report, "normalization", "reached_lufs"), -20.0, 0.01);
}

// `measure` agrees with ffmpeg's ebur128 filter on a native (AC-3) and a graph (MKV
// E-AC-3) input.
TEST_F(Loudness, MeasureAgreesWithFfmpeg) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const test::ToneGraph tones =
        test::MakeToneGraph({"FL", "FR", "FC", "LFE", "BL", "BR"},
                            {300.0, 500.0, 700.0, 60.0, 1100.0, 1300.0}, "5.1", kRate, 12.0);
    struct Case {
        const char *name, *codec, *options;
    } const cases[] = {{"film.ac3", "ac3", ""}, {"film.mkv", "eac3", "--graph"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = dir.File(c.name);
        ASSERT_TRUE(test::Ffmpeg(tones.inputs + " " + tones.filter + " -c:a " + c.codec +
                                 " -b:a 448k " + Quote(input)));
        const double ours = Figure(Measure(input, c.options), "input_loudness", "integrated_lufs");
        const test::CommandResult ffmpeg = test::RunCommand(
            "ffmpeg -hide_banner -nostats -i " + Quote(input) + " -af ebur128 -f null - 2>&1");
        std::smatch match;
        ASSERT_TRUE(std::regex_search(
            ffmpeg.output, match, std::regex("Integrated loudness:\\s+I:\\s+(-?[0-9.]+) LUFS")));
        EXPECT_NEAR(ours, std::stod(match[1]), 0.1);
    }
}

}  // namespace
}  // namespace tavrisk
