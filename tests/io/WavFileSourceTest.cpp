// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "sources/InputProbe.h"
#include "sources/WavFileSource.h"
#include "tests/io/IoTestSupport.h"
#include "tests/support/BlockFrames.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::BuildWav;
using test::FakeJobHost;
using test::MakeFrames;
using test::TempDir;
using test::WavLayout;
using test::WriteBytes;

using test::kBlock;
// Value of each channel per block row L, R, C, LFE, LS, RS; frame i adds i % 7.
constexpr std::array<int16_t, 6> kRowValue = {1000, 2000, 3000, 6000, 4000, 5000};
// Block row of each channel of a plain file (L, C, R, LS, RS, LFE) and of a 5.1-masked
// file (L, R, C, LFE, LS, RS).
constexpr std::array<int, 6> kRowOfPlain = {0, 2, 1, 4, 5, 3};
constexpr std::array<int, 6> kRowOfMasked = {0, 1, 2, 3, 4, 5};

std::vector<int16_t> RowFrames(std::size_t frames, const std::array<int, 6>& rowOfChannel) {
    return MakeFrames(frames, 6, [&](std::size_t i, int k) {
        return static_cast<int16_t>(kRowValue[rowOfChannel[k]] + static_cast<int>(i % 7));
    });
}

// Blocks read until the source ends; every value checked against kRowValue (1 LSB).
// Reads every block; frames past `frames` (the padding of the last block) are silent.
int ReadAndCheckBlocks(WavFileSource& source, std::size_t frames) {
    SampleBlock block;
    int blocks = 0;
    while (source.ReadBlock(block).HasBlock()) {
        for (std::size_t row = 0; row < 6; ++row) {
            for (std::size_t i = 0; i < kBlock; i += 97) {
                const std::size_t frame = blocks * kBlock + i;
                const double expected =
                    frame < frames ? kRowValue[row] + static_cast<int>(frame % 7) : 0.0;
                EXPECT_NEAR(block.Row(row)[i], expected, 1.0) << "row " << row << " frame " << i;
            }
        }
        ++blocks;
    }
    return blocks;
}

std::vector<uint8_t> CutAfter(std::vector<uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

class WavFileSourceTest : public ::testing::Test {
  protected:
    std::string Write(const WavLayout& layout, const std::string& name = "in.wav") {
        const std::string path = dir.File(name);
        WriteBytes(path, BuildWav(layout));
        return path;
    }
    TempDir dir;
    FakeJobHost host;
};

TEST_F(WavFileSourceTest, PlainFileDeliversWholeBlocksInRowOrder) {
    WavLayout layout;
    layout.samples = RowFrames(kBlock * 2 + 500, kRowOfPlain);
    WavFileSource source(host, host.Settings());
    ASSERT_TRUE(source.Open(Write(layout)));
    EXPECT_EQ(host.status, "6 channels 48000 Hz 16 bits PCM WAV");
    EXPECT_EQ(ReadAndCheckBlocks(source, kBlock * 2 + 500), 3);  // the last one padded
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(WavFileSourceTest, ExtensibleFilesAreReorderedByTheirMask) {
    host.inputRate = host.outputRate = 44100;
    for (const uint32_t mask : {0x3Fu, 0x60Fu}) {
        WavLayout layout;
        layout.formatTag = 0xFFFE;
        layout.fmtSize = 40;
        layout.channelMask = mask;
        layout.rate = 44100;
        layout.samples = RowFrames(kBlock, kRowOfMasked);
        WavFileSource source(host, host.Settings());
        ASSERT_TRUE(source.Open(Write(layout)));
        EXPECT_EQ(host.status, "6 channels 44100 Hz 16 bits PCM WAV");
        EXPECT_EQ(ReadAndCheckBlocks(source, kBlock), 1) << "mask " << mask;
    }
    host.inputRate = host.outputRate = 48000;
    // Any other mask keeps the plain order.
    WavLayout layout;
    layout.formatTag = 0xFFFE;
    layout.fmtSize = 40;
    layout.channelMask = 0x3F0;
    layout.samples = RowFrames(kBlock, kRowOfPlain);
    WavFileSource source(host, host.Settings());
    ASSERT_TRUE(source.Open(Write(layout)));
    EXPECT_EQ(ReadAndCheckBlocks(source, kBlock), 1);
}

TEST_F(WavFileSourceTest, ReadingStopsAtTheEndOfTheDataChunk) {
    WavLayout layout;
    layout.samples = RowFrames(kBlock, kRowOfPlain);
    layout.trailingChunk.assign(kBlock * 12 * 2, 0x7F);  // two blocks' worth of metadata
    WavFileSource source(host, host.Settings());
    ASSERT_TRUE(source.Open(Write(layout)));
    EXPECT_EQ(ReadAndCheckBlocks(source, kBlock), 1);
}

TEST_F(WavFileSourceTest, DataSizeLargerThanTheFileReadsWhatIsThere) {
    WavLayout layout;
    layout.samples = RowFrames(kBlock * 2, kRowOfPlain);
    layout.declaredDataSize = kBlock * 12 * 10;
    WavFileSource source(host, host.Settings());
    ASSERT_TRUE(source.Open(Write(layout)));
    EXPECT_EQ(source.DataSize(), kBlock * 12 * 2);
    EXPECT_EQ(ReadAndCheckBlocks(source, kBlock * 2), 2);
    EXPECT_EQ(host.progress.back(), 100.0f);
}

TEST_F(WavFileSourceTest, TheFilesOwnRateDecides) {
    WavLayout layout;
    layout.rate = 44100;
    layout.samples = RowFrames(kBlock, kRowOfPlain);
    const std::string path = Write(layout, "slow.wav");
    EXPECT_EQ(ProbeWavRate(path), 44100);
    EXPECT_EQ(ProbeWavRate(Write(WavLayout{}, "plain.WAV")), 48000);
    EXPECT_EQ(ProbeWavRate(dir.File("missing.wav")), std::nullopt);

    // Read as 48 kHz, a 300 Hz tone would come out at 327 Hz: refused, naming both rates.
    WavFileSource source(host, host.Settings());
    EXPECT_FALSE(source.Open(path));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "The input '" + path +
                                         "' is at 44100 Hz, but the input frequency is set to "
                                         "48000 Hz");
}

TEST_F(WavFileSourceTest, AnUnknownDataSizeRunsToTheEndOfTheFile) {
    // Recorders write 0xFFFFFFFF where the size is unknown or beyond 32 bits; a trailing
    // chunk after such a "data" chunk is read as samples, since nothing marks its start.
    WavLayout layout;
    layout.samples = RowFrames(kBlock * 2, kRowOfPlain);
    layout.declaredDataSize = 0xFFFFFFFFu;
    WavFileSource source(host, host.Settings());
    ASSERT_TRUE(source.Open(Write(layout)));
    EXPECT_EQ(source.DataSize(), kBlock * 12 * 2);
    EXPECT_EQ(ReadAndCheckBlocks(source, kBlock * 2), 2);
}

TEST_F(WavFileSourceTest, BrokenFilesAreRefusedWithTheirReason) {
    WavLayout good;
    good.samples = RowFrames(kBlock, kRowOfPlain);
    const auto riffOf = [&](WavLayout layout) { return BuildWav(layout); };
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string reason;
    };
    WavLayout noFmt = good, noData = good, shortFmt = good, cutFmt = good, noSamples = good;
    noSamples.samples.resize(3);  // less than one frame
    cutFmt.withData = false;
    cutFmt.samples.clear();
    noFmt.withFmt = false;
    noData.withData = false;
    shortFmt.fmtSize = 14;
    std::vector<uint8_t> notRiff = riffOf(good);
    notRiff[0] = 'X';
    const std::vector<Case> cases = {
        {"empty.wav", {}, "the file is empty"},
        {"notriff.wav", notRiff, "not a RIFF WAVE file"},
        {"nofmt.wav", riffOf(noFmt), "no \"fmt \" chunk"},
        {"nodata.wav", riffOf(noData), "no \"data\" chunk"},
        {"shortfmt.wav", riffOf(shortFmt), "\"fmt \" chunk shorter than 16 bytes"},
        {"cutfmt.wav", CutAfter(riffOf(cutFmt), 30), "\"fmt \" chunk cut short"},
        {"nosamples.wav", riffOf(noSamples), "the \"data\" chunk holds no samples"},
    };
    for (const Case& c : cases) {
        host.messages.clear();
        const std::string path = dir.File(c.name);
        WriteBytes(path, c.bytes);
        WavFileSource source(host, host.Settings());
        EXPECT_FALSE(source.Open(path)) << c.name;
        ASSERT_EQ(host.messages.size(), 1u) << c.name;
        EXPECT_EQ(host.messages[0].title, "File Open Error");
        EXPECT_EQ(host.messages[0].text, "Unable to read WAV file '" + path + "': " + c.reason);
        SampleBlock block;
        EXPECT_EQ(source.ReadBlock(block).outcome, BlockOutcome::kFailed);
    }
    host.messages.clear();
    WavFileSource source(host, host.Settings());
    EXPECT_FALSE(source.Open(dir.File("missing.wav")));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].text.find("missing.wav': cannot open the file"), std::string::npos);
}

TEST_F(WavFileSourceTest, UnsupportedFormatsAreRefusedSayingWhy) {
    WavLayout stereo, deep, slow, adpcm;
    stereo.channels = 2;
    deep.bits = 24;
    slow.rate = 32000;
    adpcm.formatTag = 0x11;
    const std::pair<WavLayout, const char*> cases[] = {
        {stereo, "2 channels"},
        {deep, "24 bits per sample"},
        {slow, "32000 Hz"},
        {adpcm, "format tag 0x0011 (not PCM)"},
    };
    for (const auto& [layout, problem] : cases) {
        host.messages.clear();
        WavLayout withData = layout;
        withData.samples.assign(layout.channels * kBlock, 0);
        WavFileSource source(host, host.Settings());
        EXPECT_FALSE(source.Open(Write(withData)));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text,
                  std::string("WAV Format Not supported: the file has ") + problem +
                      "; Tavrisk reads 6 channels of 16-bit PCM at 44100 or 48000 Hz");
        EXPECT_EQ(host.messages[0].title, "Tavrisk Internal Encoder Error");
    }
    EXPECT_EQ(host.status, "6 channels 48000 Hz 16 bits COMPRESSED WAV");
}

TEST_F(WavFileSourceTest, NormalizationAnalysesThenRewinds) {
    host.channels.normalize = true;
    WavLayout layout;
    layout.samples = MakeFrames(kBlock * 2, 6, [](std::size_t i, int) {
        return static_cast<int16_t>(i % 2 ? 16000 : -16000);
    });
    WavFileSource source(host, host.Settings());
    ASSERT_TRUE(source.Open(Write(layout)));
    EXPECT_EQ(host.progress.back(), 50.0f);
    SampleBlock block;
    int blocks = 0;
    while (source.ReadBlock(block).HasBlock()) {
        ++blocks;
        for (std::size_t row = 0; row < 6; ++row) {
            EXPECT_NEAR(std::fabs(block.Row(row)[0]), 32767.0, 2.0);
        }
    }
    EXPECT_EQ(blocks, 2);
    EXPECT_EQ(host.progress.back(), 100.0f);

    // A silent file leaves every peak at 0.
    WavLayout silent;
    silent.samples.assign(kBlock * 6, 0);
    WavFileSource quiet(host, host.Settings());
    ASSERT_TRUE(quiet.Open(Write(silent, "silent.wav")));
    for (const float peak : quiet.Processor().Peaks()) EXPECT_EQ(peak, 0.0f);
}

TEST_F(WavFileSourceTest, StopDuringAnalysisFailsOpen) {
    host.channels.normalize = true;
    WavLayout layout;
    layout.samples = RowFrames(kBlock * 4, kRowOfPlain);
    int pumps = 0;
    host.onProgress = [&] {
        if (++pumps == 2) host.RequestStop();
    };
    WavFileSource source(host, host.Settings());
    EXPECT_FALSE(source.Open(Write(layout)));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(WavFileSourceTest, ResamplerPhaseCarriesFromBlockToBlock) {
    host.outputRate = 44100;
    host.resamplerKind = ResamplerKind::kLinear;
    // A ramp on every channel: input frame n holds 8 n.
    WavLayout layout;
    layout.samples =
        MakeFrames(kBlock * 4, 6, [](std::size_t i, int) { return static_cast<int16_t>(8 * i); });
    WavFileSource source(host, host.Settings());
    ASSERT_TRUE(source.Open(Write(layout)));
    SampleBlock block;
    const double ratio = LinearResampler::kRatio;
    for (std::size_t b = 0; b < 3; ++b) {
        ASSERT_TRUE(source.ReadBlock(block).HasBlock()) << "block " << b;
        for (std::size_t i = 0; i < kBlock; i += 61) {
            // Output frame j lies at input position (j + 1) * ratio - 1.
            const double j = static_cast<double>(b * kBlock + i);
            const double expected = 8.0 * ((j + 1.0) * ratio - 1.0);
            for (std::size_t row = 0; row < 6; ++row) {
                EXPECT_NEAR(block.Row(row)[i], expected, 2.0) << "block " << b << " frame " << i;
            }
        }
    }
    // 4 blocks of input make 4233 output frames (4 x 1152 / 1.0884354): a fourth block,
    // padded, and no more.
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    EXPECT_NE(block.Row(0)[4232 - 3 * kBlock], 0.0);
    EXPECT_EQ(block.Row(0)[4234 - 3 * kBlock], 0.0);
    EXPECT_EQ(source.ReadBlock(block).outcome, BlockOutcome::kEnd);
}

}  // namespace
}  // namespace tavrisk
