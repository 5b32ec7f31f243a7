// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

// The six-channel WAV holds L, C, R, LS, RS, LFE: the slots' own order.
constexpr std::array<int, kAc3Channels> kWavChannelOfSlot = {0, 1, 2, 3, 4, 5};

class Ac3CliTest : public ::testing::Test {
  protected:
    CommandResult Transcode(const std::string& input, const std::string& output,
                            const std::string& options = "") {
        // Messages on standard error are kept; the frame trace on standard output is not.
        // Started from a std::string: a literal + string temporary trips a false -Wrestrict
        // in GCC 12 at -O3.
        std::string command = "(";
        command += Quote(BinPath("tavrisk-cli")) + " " + Quote(input) + " " + Quote(output) +
                   " --engine wav --yes " + options + " >/dev/null)";
        return RunCommand(command);
    }
    std::string Probe(const std::string& path, const std::string& entry) {
        const auto result =
            RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=" + entry +
                       " -of default=nw=1:nk=1 " + Quote(path));
        return result.output.substr(0, result.output.find('\n'));
    }

    TempDir dir;
};

TEST_F(Ac3CliTest, TranscodesAnAc3StreamToTheWavOfFfmpegsOwnDecode) {
    const std::string input = dir.File("in.ac3");
    const std::string output = dir.File("out.wav");
    ASSERT_TRUE(MakeAc3(input, {.seconds = 2.0}));
    const CommandResult run = Transcode(input, output);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("(CM) 48000 Hz 3/2 L,C,R,SL,SR With LFE"), std::string::npos);
    EXPECT_EQ(Probe(output, "channels"), "6");
    EXPECT_EQ(Probe(output, "sample_rate"), "48000");

    const PcmAudio ours = ReadWav(output);
    const std::vector<float> reference = FfmpegDecode(input);
    const std::size_t frames = reference.size() / kAc3Channels;
    ASSERT_EQ(ours.Frames(), (frames / 1152 + 1) * 1152);
    int worst = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int slot = 0; slot < kAc3Channels; ++slot) {
            const long theirs = std::lround(reference[i * kAc3Channels + slot] * 32768.0);
            worst = std::max(worst, std::abs(ours.At(i, kWavChannelOfSlot[slot]) - int(theirs)));
        }
    }
    EXPECT_LE(worst, 2);
    for (int slot = 0; slot < kAc3Channels; ++slot) {
        const auto signal = ours.Channel(kWavChannelOfSlot[slot]);
        EXPECT_GT(ToneAmplitude(signal, kAc3Tones[slot], 48000), 3000.0) << slot;
    }

    // The same track inside an AVI gives the same file.
    const std::string avi = dir.File("movie.avi");
    const std::string fromAvi = dir.File("avi.wav");
    ASSERT_TRUE(MakeAvi(avi, input));
    ASSERT_EQ(Transcode(avi, fromAvi).exitCode, 0);
    EXPECT_EQ(ReadBytes(fromAvi), ReadBytes(output));
}

TEST_F(Ac3CliTest, ResamplesInsertsAndNormalises) {
    const std::string input = dir.File("in.ac3");
    ASSERT_TRUE(MakeAc3(input, {.seconds = 1.0}));
    const std::size_t inputFrames = ReadBytes(input).size() / 1792 * 1536;

    const std::string resampled = dir.File("44.wav");
    ASSERT_EQ(Transcode(input, resampled, "--rate 44100").exitCode, 0);
    EXPECT_EQ(Probe(resampled, "sample_rate"), "44100");
    EXPECT_EQ(ReadWav(resampled).Frames(),
              (static_cast<std::size_t>(inputFrames / 1.0884354) / 1152 + 1) * 1152);

    const std::string delayed = dir.File("delayed.wav");
    ASSERT_EQ(Transcode(input, delayed, "--resync +0:0:1.000").exitCode, 0);
    const PcmAudio late = ReadWav(delayed);
    for (int c = 0; c < kAc3Channels; ++c) {
        const auto channel = late.Channel(c);
        EXPECT_EQ(Rms({channel.begin(), channel.begin() + 48000}), 0.0);
        EXPECT_GT(Rms({channel.begin() + 48000, channel.begin() + 90000}), 1000.0);
    }

    // A refused resync is a failed job, not an empty success.
    const CommandResult overflow = Transcode(input, dir.File("late.wav"), "--resync +0:0:56");
    EXPECT_EQ(overflow.exitCode, 1);
    EXPECT_NE(overflow.output.find("Tavrisk resynch: Resync overflow"), std::string::npos);

    const std::string louder = dir.File("normalised.wav");
    ASSERT_EQ(Transcode(input, louder, "--normalize").exitCode, 0);
    const PcmAudio loud = ReadWav(louder);
    for (int c = 0; c < kAc3Channels; ++c) {
        double peak = 0.0;
        for (double v : loud.Channel(c)) peak = std::max(peak, std::fabs(v));
        EXPECT_GE(peak, 32700.0) << c;
    }
}

TEST_F(Ac3CliTest, FailsOnInputsWithoutAnAc3StreamAndRunsThroughADamagedFrame) {
    const std::string junk = dir.File("junk.ac3");
    WriteBytes(junk, std::vector<uint8_t>(5000, 0x5A));
    const CommandResult refused = Transcode(junk, dir.File("junk.wav"));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("No AC3 stream found"), std::string::npos);

    const std::string stereo = dir.File("stereo.ac3");
    ASSERT_TRUE(MakeAc3(stereo, {.seconds = 0.3, .layout = "stereo", .kbps = 192}));
    const CommandResult wrong = Transcode(stereo, dir.File("stereo.wav"));
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_NE(wrong.output.find("AC3 Format Not supported"), std::string::npos);

    const std::string input = dir.File("in.ac3");
    ASSERT_TRUE(MakeAc3(input, {.seconds = 1.0}));
    std::vector<uint8_t> bytes = ReadBytes(input);
    bytes[10 * 1792 + 700] ^= 0x08;
    const std::string damaged = dir.File("damaged.ac3");
    WriteBytes(damaged, bytes);
    const std::string output = dir.File("damaged.wav");
    const CommandResult run = Transcode(damaged, output);
    // The damaged frame is silence and the job runs to the end, with a warning and its own
    // exit status.
    EXPECT_EQ(run.exitCode, 3) << run.output;
    EXPECT_NE(run.output.find("Damaged AC-3 stream: '" + damaged +
                              "' was read to its end, keeping its timeline:\n"
                              "1 damaged frame replaced by silence at 00:00:00.32"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(Probe(output, "channels"), "6");
    const PcmAudio kept = ReadWav(output);
    const std::size_t frames = bytes.size() / 1792 * 1536;
    EXPECT_EQ(kept.Frames(), (frames / 1152 + 1) * 1152);
    const auto left = kept.Channel(0);
    EXPECT_GT(Rms({left.begin(), left.begin() + 10 * 1536}), 1000.0);
    EXPECT_EQ(Rms({left.begin() + 10 * 1536, left.begin() + 11 * 1536}), 0.0);
    EXPECT_GT(Rms({left.begin() + 11 * 1536, left.begin() + frames}), 1000.0);
}

}  // namespace
}  // namespace tavrisk::test
