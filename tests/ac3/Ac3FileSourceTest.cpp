// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "sources/ac3/Ac3FileSource.h"
#include "tests/ac3/Ac3SourceRun.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/FakeJobHost.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr int kFrameSamples = 1536;

using Message = FakeJobHost::Message;

class Ac3FileSourceTest : public ::testing::Test {
  protected:
    void SetResync(bool insert, int seconds, int ms) {
        const int32_t total = seconds * 1000 + ms;
        host.resyncMs = insert ? total : -total;
    }

    Delivered Run(const std::string& path, std::size_t maxBlocks = 100000) {
        Ac3FileSource source(host, host.Settings());
        return RunSource(source, path, maxBlocks);
    }

    std::string Make(const Ac3Input& input, const std::string& name = "in.ac3") {
        const std::string path = dir.File(name);
        EXPECT_TRUE(MakeAc3(path, input));
        return path;
    }

    FakeJobHost host;
    TempDir dir;
};

std::size_t FramesIn(const std::string& path, int frameBytes) {
    return ReadBytes(path).size() / frameBytes;
}

TEST_F(Ac3FileSourceTest, DeliversEachToneInItsRowLikeFfmpegsDecodeThenOnePaddedBlock) {
    const std::string path = Make({.seconds = 1.0});
    const std::size_t frames = FramesIn(path, 1792) * kFrameSamples;
    const Delivered d = Run(path);
    ASSERT_TRUE(d.opened);
    EXPECT_EQ(host.status, "(CM) 48000 Hz 3/2 L,C,R,SL,SR With LFE");
    EXPECT_EQ(d.blocks, frames / 1152 + 1);
    EXPECT_TRUE(AllZero(d, frames, d.Frames()));

    const std::vector<float> reference = FfmpegDecode(path);
    ASSERT_EQ(reference.size(), frames * kAc3Channels);
    double worst = 0.0;
    for (int slot = 0; slot < kAc3Channels; ++slot) {
        for (std::size_t i = 0; i < frames; ++i) {
            const double theirs = std::lround(reference[i * kAc3Channels + slot] * 32768.0);
            worst = std::max(worst, std::fabs(d.Slot(slot)[i] - theirs));
        }
        const std::vector<double> signal(d.Slot(slot).begin(), d.Slot(slot).begin() + frames);
        const double own = ToneAmplitude(signal, kAc3Tones[slot], 48000);
        EXPECT_GT(own, 3000.0) << slot;
        for (int other = 0; other < kAc3Channels; ++other) {
            if (other != slot) {
                EXPECT_LT(ToneAmplitude(signal, kAc3Tones[other], 48000), own / 100) << slot;
            }
        }
    }
    EXPECT_LE(worst, 2.0);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Ac3FileSourceTest, EndsFramesThatFillWholeBlocksWithOneSilentBlock) {
    const std::string path = Make({.seconds = 0.08});
    ASSERT_EQ(FramesIn(path, 1792), 3u);  // 4608 frames: exactly 4 blocks
    const Delivered d = Run(path);
    EXPECT_EQ(d.blocks, 5u);
    EXPECT_TRUE(AllZero(d, 4 * 1152, 5 * 1152));
    EXPECT_FALSE(AllZero(d, 3 * 1152, 4 * 1152));
}

TEST_F(Ac3FileSourceTest, Reads44100HzStreamsAndResamples48000To44100) {
    host.outputRate = host.inputRate = 44100;
    const std::string slow = Make({.rate = 44100, .seconds = 1.0}, "slow.ac3");
    const Delivered native = Run(slow);
    ASSERT_TRUE(native.opened);
    EXPECT_EQ(host.status, "(CM) 44100 Hz 3/2 L,C,R,SL,SR With LFE");
    EXPECT_GT(ToneAmplitude(native.Slot(2), kAc3Tones[2], 44100), 3000.0);

    host.inputRate = 48000;
    ASSERT_TRUE(host.Settings().resample);
    const std::string path = Make({.seconds = 2.0});
    const std::size_t inputFrames = FramesIn(path, 1792) * kFrameSamples;
    const Delivered d = Run(path);
    // 1152 x 1.0884354 input frames per block; the rest goes out padded.
    const std::size_t frames = static_cast<std::size_t>(inputFrames / 1.0884354);
    EXPECT_EQ(d.blocks, frames / 1152 + 1);
    EXPECT_FALSE(AllZero(d, frames - 1000, frames - 900));
    for (int slot = 0; slot < kAc3Channels; ++slot) {
        const std::vector<double> signal(d.Slot(slot).begin(), d.Slot(slot).begin() + frames);
        EXPECT_GT(ToneAmplitude(signal, kAc3Tones[slot], 44100), 3000.0) << slot;
    }
}

TEST_F(Ac3FileSourceTest, ResamplesEachToneIntoItsRowAndLastsAsLongAsTheStream) {
    host.outputRate = 44100;
    const std::string path = Make({.seconds = 1.55});
    // 75264 input frames make 69148.8 output frames: 60 whole blocks and 29 frames, all
    // but about 190 of which the conversion holds back until the end.
    ASSERT_EQ(FramesIn(path, 1792), 49u);
    const std::size_t length = std::lround(49.0 * kFrameSamples * 44100 / 48000);
    const Delivered d = Run(path);
    ASSERT_TRUE(d.opened);
    EXPECT_EQ(d.blocks, length / 1152 + 1);
    EXPECT_TRUE(AllZero(d, length + 1, d.Frames()));
    for (int slot = 0; slot < kAc3Channels; ++slot) {
        const std::vector<double> signal(d.Slot(slot).begin(), d.Slot(slot).begin() + length);
        const double own = ToneAmplitude(signal, kAc3Tones[slot], 44100);
        EXPECT_GT(own, 3000.0) << slot;
        for (int other = 0; other < kAc3Channels; ++other) {
            if (other != slot) {
                EXPECT_LT(ToneAmplitude(signal, kAc3Tones[other], 44100), own / 100) << slot;
            }
        }
    }
}

TEST_F(Ac3FileSourceTest, InsertsSilenceUpTo55SecondsAndRefuses56) {
    const std::string path = Make({.seconds = 0.5});
    const Delivered plain = Run(path);
    SetResync(true, 1, 0);
    const Delivered d = Run(path);
    EXPECT_TRUE(AllZero(d, 0, 48000));
    for (int row = 0; row < kAc3Channels; ++row) {
        EXPECT_TRUE(std::equal(plain.rows[row].begin(), plain.rows[row].begin() + 20000,
                               d.rows[row].begin() + 48000));
    }

    SetResync(true, 55, 0);
    EXPECT_EQ(Run(path, 1).blocks, 1u);
    EXPECT_TRUE(host.messages.empty());
    SetResync(true, 56, 0);
    const Delivered refused = Run(path);
    EXPECT_TRUE(refused.opened);
    EXPECT_EQ(refused.blocks, 0u);
    EXPECT_EQ(host.messages, (std::vector<Message>{{"Resync overflow", "Tavrisk resynch"}}));
}

TEST_F(Ac3FileSourceTest, SkipsHalfASecondByFramesAndSamplesOnStreamsAndByDecodingInAvi) {
    const std::string path = Make({.seconds = 2.0});
    const Delivered plain = Run(path);
    SetResync(false, 0, 500);
    const Delivered skipped = Run(path);
    // 15 frames of 1536 by seeking, then 960 frames of the 16th. The decoder's dither
    // restarts with the seek, so the values differ by a few units; one frame off would
    // differ by hundreds.
    const std::size_t rest = plain.Frames() - 24000 - 1152;
    constexpr double kDitherUnits = 16.0;
    EXPECT_LE(WorstDifference(skipped, plain, 24000, rest), kDitherUnits);
    EXPECT_GT(WorstDifference(skipped, plain, 24001, rest), 100.0);

    const std::string avi = dir.File("movie.avi");
    ASSERT_TRUE(MakeAvi(avi, path));
    const Delivered fromAvi = Run(avi);
    ASSERT_TRUE(fromAvi.opened);
    EXPECT_EQ(WorstDifference(fromAvi, plain, 24000, rest), 0.0);
    EXPECT_EQ(fromAvi.blocks, skipped.blocks);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Ac3FileSourceTest, SkipsTheExactDurationAt44100HzOnStreamsAndInAvi) {
    host.outputRate = host.inputRate = 44100;
    const std::string path = Make({.rate = 44100, .seconds = 3.0});
    const Delivered plain = Run(path);
    SetResync(false, 1, 500);
    const Delivered skipped = Run(path);
    // 1.5 s are 66150 frames: 43 whole frames of 1536 read over, then 102 frames dropped.
    // The last frame read over is decoded, so the rest matches but for the dither, which
    // shows most in the stream's last frame, where the tones stop.
    constexpr std::size_t kSkipped = 66150;
    const std::size_t rest = plain.Frames() - kSkipped - 1152;
    constexpr double kDitherUnits = 16.0;
    EXPECT_LE(WorstDifference(skipped, plain, kSkipped, rest - kFrameSamples), kDitherUnits);
    EXPECT_GT(WorstDifference(skipped, plain, kSkipped + 1, rest), 100.0);
    EXPECT_GT(WorstDifference(skipped, plain, kSkipped - 1, rest), 100.0);

    const std::string avi = dir.File("movie.avi");
    ASSERT_TRUE(MakeAvi(avi, path));
    const Delivered fromAvi = Run(avi);
    EXPECT_EQ(WorstDifference(fromAvi, plain, kSkipped, rest), 0.0);
    EXPECT_EQ(fromAvi.blocks, skipped.blocks);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.warnings.empty());
}

TEST_F(Ac3FileSourceTest, RefusesASkipPastTheEndOfTheStream) {
    const std::string path = Make({.seconds = 0.5});
    SetResync(false, 5, 0);
    EXPECT_FALSE(Run(path).opened);
    EXPECT_EQ(host.messages,
              (std::vector<Message>{{"AC3 Initial frame skip Error", "Tavrisk resynch"}}));
}

TEST_F(Ac3FileSourceTest, NormalisesEveryChannelToItsSliderAfterAnAnalysisPass) {
    host.channels.normalize = true;
    const std::string path = Make({.seconds = 1.0});
    const Delivered d = Run(path);
    ASSERT_TRUE(d.opened);
    // sine sources peak at 1/8 of full scale: -18.06 dB.
    for (int k = 0; k < kAc3Channels; ++k) {
        EXPECT_NEAR(host.peaks[k], -18.06, 0.05) << k;
    }
    for (int slot = 0; slot < kAc3Channels; ++slot) {
        double peak = 0.0;
        for (double v : d.Slot(slot)) peak = std::max(peak, std::fabs(v));
        EXPECT_GE(peak, 32700.0) << slot;
        EXPECT_LE(peak, 32767.0) << slot;
    }
}

TEST_F(Ac3FileSourceTest, ReportsTheAnalysisPassUpToFiftyAndTheOutputPassOnToAHundred) {
    host.channels.normalize = true;
    const std::string path = Make({.seconds = 0.5});
    Ac3FileSource source(host, host.Settings());
    ASSERT_TRUE(source.Open(path));
    EXPECT_EQ(host.progress.back(), 50.0f);
    EXPECT_EQ(host.resets.back(), 50.0f);
    for (float p : host.progress) EXPECT_LE(p, 50.0f);
    SampleBlock block;
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    const float early = host.progress.back();
    EXPECT_GT(early, 50.0f);
    EXPECT_LT(early, 60.0f);
    while (source.ReadBlock(block).HasBlock()) {
    }
    EXPECT_EQ(host.progress.back(), 100.0f);
}

TEST_F(Ac3FileSourceTest, AStopDuringTheAnalysisPassFailsOpen) {
    host.channels.normalize = true;
    host.RequestStop();
    EXPECT_FALSE(Run(Make({.seconds = 0.5})).opened);
}

TEST_F(Ac3FileSourceTest, RefusesStereoAnd32kHzStreamsShowingTheirDescription) {
    const Delivered stereo = Run(Make({.seconds = 0.2, .layout = "stereo", .kbps = 192}));
    EXPECT_FALSE(stereo.opened);
    EXPECT_EQ(host.status, "(CM) 48000 Hz 2/0 L,R No LFE");
    const Delivered low = Run(Make({.rate = 32000, .seconds = 0.2}, "low.ac3"));
    EXPECT_FALSE(low.opened);
    EXPECT_EQ(host.status, "(CM) 32000 Hz 3/2 L,C,R,SL,SR With LFE");
    const Message refused{"AC3 Format Not supported", "Tavrisk Internal Encoder Error"};
    EXPECT_EQ(host.messages, (std::vector<Message>{refused, refused}));
}

TEST_F(Ac3FileSourceTest, FailsOnFilesWithoutAnyAc3Frame) {
    const std::string empty = dir.File("empty.ac3");
    WriteBytes(empty, {});
    std::mt19937 random(11);
    std::vector<uint8_t> noise(100000);
    for (auto& byte : noise) byte = static_cast<uint8_t>(random());
    const std::string junk = dir.File("junk.ac3");
    WriteBytes(junk, noise);
    EXPECT_FALSE(Run(empty).opened);
    EXPECT_FALSE(Run(junk).opened);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "No AC3 stream found in '" + empty + "'");
    EXPECT_EQ(host.messages[1].title, "AC-3 Decoder Error");
    EXPECT_FALSE(Run(dir.File("missing.ac3")).opened);
}

TEST_F(Ac3FileSourceTest, KeepsWhatWasDecodedBeforeATruncationAndSilencesADamagedFrame) {
    const std::string path = Make({.seconds = 1.0});
    const Delivered plain = Run(path);
    std::vector<uint8_t> bytes = ReadBytes(path);
    const std::string cut = dir.File("cut.ac3");
    WriteBytes(cut, {bytes.begin(), bytes.end() - 500});
    const Delivered truncated = Run(cut);
    const std::size_t kept = (bytes.size() / 1792 - 1) * kFrameSamples;
    // The frame cut short is one frame of silence, told as damage.
    EXPECT_EQ(truncated.blocks, (kept + kFrameSamples) / 1152 + 1);
    EXPECT_EQ(WorstDifference(truncated, plain, 0, kept), 0.0);
    EXPECT_TRUE(AllZero(truncated, kept, kept + kFrameSamples));
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(host.warnings.size(), 1u);
    EXPECT_NE(host.warnings[0].text.find("ends inside its last frame"), std::string::npos);
    host.warnings.clear();

    // The damaged frame is one frame of silence; the job goes on to the end.
    bytes[5 * 1792 + 1000] ^= 0x40;
    const std::string damaged = dir.File("damaged.ac3");
    WriteBytes(damaged, bytes);
    const Delivered d = Run(damaged);
    EXPECT_EQ(d.blocks, plain.blocks);
    EXPECT_EQ(WorstDifference(d, plain, 0, 5 * kFrameSamples), 0.0);
    EXPECT_TRUE(AllZero(d, 5 * kFrameSamples, 6 * kFrameSamples));
    EXPECT_FALSE(AllZero(d, 6 * kFrameSamples, 7 * kFrameSamples));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.warnings,
              (std::vector<Message>{{"'" + damaged +
                                         "' was read to its end, keeping its timeline:\n"
                                         "1 damaged frame replaced by silence at 00:00:00.16",
                                     "Damaged AC-3 stream"}}));
}

TEST_F(Ac3FileSourceTest, ReportsANonAc3AviTrackAndAnAviWithoutAudio) {
    const std::string pcm = dir.File("pcm.avi");
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:d=1 -f lavfi "
                         "-i sine=d=1 -c:v mjpeg -c:a pcm_s16le " +
                         Quote(pcm))
                  .exitCode,
              0);
    EXPECT_FALSE(Run(pcm).opened);
    EXPECT_EQ(host.messages,
              (std::vector<Message>{
                  {"Audio track may not in AC3 Format", "Tavrisk Internal AVI Parser Error"},
                  {"AC3 Read Frame Error", "AC-3 Decoder Error"}}));
    host.messages.clear();
    const std::string silent = dir.File("silent.avi");
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:d=1 -c:v "
                         "mjpeg " +
                         Quote(silent))
                  .exitCode,
              0);
    EXPECT_FALSE(Run(silent).opened);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Tavrisk Internal AVI Parser Error");
}

TEST(Ac3StreamDescription, NamesModeRateLayoutAndLfe) {
    const uint8_t surround[8] = {1, 30, 7, 7, 0, 0, 0, 1};
    EXPECT_EQ(Ac3FileSource::DescribeStream(surround), "(VO) 44100 Hz 3/2 L,C,R,SL,SR With LFE");
    const uint8_t odd[8] = {3, 0, 4, 0, 0, 0, 0, 0};
    EXPECT_EQ(Ac3FileSource::DescribeStream(odd), "(D) ?? Hz 1+1 (Ch1, Ch2) No LFE");
}

}  // namespace
}  // namespace tavrisk::test
