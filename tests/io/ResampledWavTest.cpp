// SPDX-License-Identifier: GPL-3.0-or-later
// The 48000 -> 44100 Hz conversion of the WAV path: images, timing, channels and length.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "sources/WavFileSource.h"
#include "tests/support/BlockFrames.h"
#include "tests/support/FakeJobHost.h"
#include "tests/support/Fft.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::PcmAudio;
using test::Quote;

constexpr int kInputRate = 48000;
constexpr int kOutputRate = 44100;
using test::kBlock;
constexpr double kHalfScale = 16384.0;
// Block row of each file channel L, C, R, LS, RS, LFE.
constexpr std::array<int, 6> kRowOfChannel = {0, 2, 1, 4, 5, 3};
// The stretch measured: 2^16 output frames from this one on, away from both ends.
constexpr std::size_t kMeasuredStart = 8192;
constexpr std::size_t kMeasuredFrames = 65536;
constexpr double kGuardHz = 200.0;

// No component other than the tone reaches -90 dB relative to it, converted or not: the chain
// passes the samples unchanged and the conversion rounds its results.
constexpr double kMaxComponentDb = -90.0;
constexpr std::array<double, 6> kToneHz = {1000.0, 5000.0, 10000.0, 15000.0, 19000.0, 20000.0};

// The strongest component 200 Hz or more from a tone, in dB relative to the tone, measured
// away from the signal's ends.
double WorstDb(const std::vector<double>& signal, int rate, double toneHz) {
    if (signal.size() < kMeasuredStart + kMeasuredFrames) {
        ADD_FAILURE() << "only " << signal.size() << " frames";
        return 0.0;
    }
    return test::WorstComponentDb(signal, kMeasuredStart, kMeasuredFrames, rate, toneHz, kGuardHz);
}

double OutputFrames(std::size_t inputFrames) {
    return static_cast<double>(inputFrames) * kOutputRate / kInputRate;
}

// Six channels at 48 kHz, silent but for `channel`, which holds `value(n)`.
PcmAudio OneChannel(std::size_t frames, int channel, double (*value)(std::size_t, double),
                    double parameter) {
    PcmAudio audio;
    audio.channels = 6;
    audio.rate = kInputRate;
    audio.samples.assign(frames * 6, 0);
    for (std::size_t n = 0; n < frames; ++n)
        audio.samples[n * 6 + channel] = static_cast<int16_t>(std::lround(value(n, parameter)));
    return audio;
}

double Tone(std::size_t n, double hz) {
    return kHalfScale * std::sin(2.0 * M_PI * hz * static_cast<double>(n) / kInputRate);
}

// A single-sample impulse every `period` frames.
double Click(std::size_t n, double period) {
    return n % static_cast<std::size_t>(period) == 0 ? kHalfScale : 0.0;
}

class ResampledWavTest : public ::testing::Test {
  protected:
    ResampledWavTest() { host.outputRate = kOutputRate; }

    // Every row the WAV source delivers for `audio`, one after another; `blocks` counts
    // them.
    std::array<std::vector<double>, 6> Convert(const PcmAudio& audio) {
        const std::string path = dir.File("in.wav");
        test::WritePlainWav(path, audio);
        WavFileSource source(host, host.Settings());
        std::array<std::vector<double>, 6> rows;
        blocks = 0;
        if (!source.Open(path)) {
            ADD_FAILURE() << source.LastError();
            return rows;
        }
        SampleBlock block;
        while (source.ReadBlock(block).HasBlock()) {
            ++blocks;
            for (std::size_t row = 0; row < 6; ++row)
                rows[row].insert(rows[row].end(), block.Row(row), block.Row(row) + kBlock);
        }
        return rows;
    }

    test::FakeJobHost host;
    test::TempDir dir;
    std::size_t blocks = 0;
};

TEST_F(ResampledWavTest, NoComponentReaches90DbBelowATone) {
    for (const double hz : kToneHz) {
        const PcmAudio audio = OneChannel(2 * kInputRate, 0, Tone, hz);
        host.outputRate = kInputRate;
        const double unconverted = WorstDb(Convert(audio)[0], kInputRate, hz);
        host.outputRate = kOutputRate;
        const std::vector<double> left = Convert(audio)[0];
        const double converted = WorstDb(left, kOutputRate, hz);
        RecordProperty("worst_db_" + std::to_string(static_cast<int>(hz)),
                       std::to_string(converted));
        EXPECT_LE(unconverted, kMaxComponentDb) << hz << " Hz";
        EXPECT_LE(converted, kMaxComponentDb) << hz << " Hz";
        // The tone keeps its level.
        const std::vector<double> stretch(left.begin() + kMeasuredStart,
                                          left.begin() + kMeasuredStart + kMeasuredFrames);
        EXPECT_NEAR(test::ToneAmplitude(stretch, hz, kOutputRate), kHalfScale, kHalfScale * 0.02)
            << hz << " Hz";
    }
}

TEST_F(ResampledWavTest, ClicksLandWithinOneFrameOfTheirTime) {
    constexpr std::size_t kPeriod = kInputRate / 10;
    constexpr double kSearch = 100.0;
    const auto rows = Convert(OneChannel(5 * kInputRate, 0, Click, kPeriod));
    const std::vector<double>& left = rows[0];
    std::size_t clicks = 0;
    for (std::size_t n = 0; n * kPeriod < 5 * kInputRate; ++n) {
        const double time = OutputFrames(n * kPeriod);
        if (time + kSearch >= static_cast<double>(left.size())) break;  // near the end
        const auto from = static_cast<std::size_t>(std::max(0.0, time - kSearch));
        const auto peak = std::max_element(
            left.begin() + from, left.begin() + static_cast<std::size_t>(time + kSearch),
            [](double a, double b) { return std::fabs(a) < std::fabs(b); });
        EXPECT_NEAR(static_cast<double>(peak - left.begin()), time, 1.0) << "click " << n;
        EXPECT_GT(*peak, kHalfScale * 0.5) << "click " << n;
        ++clicks;
    }
    EXPECT_EQ(clicks, 50u);
}

TEST_F(ResampledWavTest, EachChannelKeepsItsToneAndTheHeldBackEndIsDelivered) {
    const std::vector<double> tones = {330.0, 470.0, 610.0, 790.0, 930.0, 110.0};
    // 46081.2 output frames: 40 whole blocks and one frame once the frames held back at the
    // end are given (41 blocks, the last padded), 39 whole blocks and part of a 40th without.
    constexpr std::size_t kFrames = 50157;
    auto rows = Convert(test::MakeTones({tones, 12000.0}, kInputRate, kFrames));
    const auto frames = static_cast<std::size_t>(std::lround(OutputFrames(kFrames)));
    EXPECT_EQ(blocks, (frames + kBlock - 1) / kBlock);
    for (int channel = 0; channel < 6; ++channel) {
        std::vector<double>& row = rows[kRowOfChannel[channel]];
        EXPECT_NE(row[frames - 1], 0.0) << channel;
        for (std::size_t i = frames + 1; i < row.size(); ++i) ASSERT_EQ(row[i], 0.0) << channel;
        row.resize(frames);  // the tones, without the padding
        const double own = test::ToneAmplitude(row, tones[channel], kOutputRate);
        EXPECT_NEAR(own, 12000.0, 12000.0 * 0.02) << channel;
        for (int other = 0; other < 6; ++other) {
            if (other != channel) {
                EXPECT_LT(test::ToneAmplitude(row, tones[other], kOutputRate), own / 100.0)
                    << channel << " " << other;
            }
        }
    }
}

// Through the command line: the same limit at every tone, and --resampler chooses the
// conversion (the linear one leaves an image of a 19 kHz tone a few dB below it).
TEST_F(ResampledWavTest, TheCommandLineChoosesTheConversion) {
    const std::string cli = test::BinPath("tavrisk-cli");
    ASSERT_TRUE(std::filesystem::exists(cli)) << cli;
    const std::string input = dir.File("tone.wav");
    const auto worstOf = [&](double hz, int rate, const std::string& options) {
        test::WritePlainWav(input, OneChannel(2 * kInputRate, 0, Tone, hz));
        const std::string output = dir.File("out.wav");
        const auto run =
            test::RunCommand(Quote(cli) + " " + Quote(input) + " " + Quote(output) +
                             " --engine wav --yes --rate " + std::to_string(rate) + options);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        const PcmAudio converted = test::ReadWav(output);
        EXPECT_EQ(converted.rate, rate);
        return WorstDb(converted.Channel(0), rate, hz);
    };
    for (const double hz : kToneHz) EXPECT_LE(worstOf(hz, kOutputRate, ""), kMaxComponentDb) << hz;
    EXPECT_LE(worstOf(19000.0, kOutputRate, " --resampler soxr"), kMaxComponentDb);
    EXPECT_GT(worstOf(19000.0, kOutputRate, " --resampler linear"), -20.0);
}

}  // namespace
}  // namespace tavrisk
