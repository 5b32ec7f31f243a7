// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "mp2enc/Mp2Encoder.h"
#include "mp2enc/ParallelMp2Encoder.h"

namespace tavrisk::mp2 {
namespace {

constexpr int kBlocks = 9;

// Tones that change from block to block on every channel (the LFE's deep one included),
// so that a frame coded from a wrong state anywhere shows in its bytes.
std::vector<SampleBlock> Input(int rate) {
    std::vector<SampleBlock> blocks(kBlocks);
    for (int b = 0; b < kBlocks; ++b) {
        for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
            const double frequency = row == SampleBlock::kRowLfe ? 60.0 : 300.0 * (row + 1);
            for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
                const double t = static_cast<double>(b * SampleBlock::kFrames + i) / rate;
                const double level = 3000.0 + 2500.0 * std::sin(t * 7.0 + row);
                blocks[b].Row(row)[i] =
                    std::round(level * std::sin(2 * std::numbers::pi * frequency * t * (1 + t)));
            }
        }
    }
    return blocks;
}

EncoderSettings Settings(int rate, int dematrix, int tcAlloc,
                         ChannelConfiguration channels = {}) {
    EncoderSettings settings;
    settings.channels = channels;
    settings.sampleRate = rate;
    settings.bitrateKbps = settings.totalBitrateKbps = 256;
    settings.ancillaryBytes = 0;
    settings.verbosity = 0;
    settings.dematrixChoice = dematrix;
    settings.tcAllocChoice = tcAlloc;
    return settings;
}

template <typename Encoder>
std::vector<std::uint8_t> Encode(Encoder& encoder, const EncoderSettings& settings,
                                 const std::vector<SampleBlock>& blocks) {
    MemoryFrameSink sink;
    EXPECT_TRUE(encoder.Configure(settings, sink));
    for (const SampleBlock& block : blocks) EXPECT_TRUE(encoder.EncodeFrame(block));
    EXPECT_TRUE(encoder.Finish());
    return sink.bytes;
}

// The blocks written where the encoder reads them; the room is asked for twice, as a reader
// that found no block yet does.
std::vector<std::uint8_t> EncodeInPlace(ParallelMp2Encoder& encoder,
                                        const EncoderSettings& settings,
                                        const std::vector<SampleBlock>& blocks) {
    MemoryFrameSink sink;
    EXPECT_TRUE(encoder.Configure(settings, sink));
    for (const SampleBlock& block : blocks) {
        SampleBlock& room = encoder.NextBlock();
        EXPECT_EQ(&encoder.NextBlock(), &room);
        room = block;
        EXPECT_TRUE(encoder.CommitBlock());
    }
    EXPECT_TRUE(encoder.Finish());
    return sink.bytes;
}

struct StreamCase {
    const char* name;
    int rate;
    int dematrix;
    int tcAlloc;
    ChannelConfiguration channels{};
};

// Every frame lies at a segment boundary with one of the short segments; 44.1 kHz pads
// some frames; random procedures and allocations draw a varying count per frame, in every
// configuration its own.
TEST(ParallelMp2Encoder, WritesTheSerialBytesAtEverySegmentBoundary) {
    const StreamCase kCases[] = {
        {"48 kHz, procedure 0, adaptive", 48000, 0, -2},
        {"44.1 kHz, random procedures and allocations", 44100, -1, -1},
        {"3/1 with LFE, random procedures and allocations", 44100, -1, -1, {3, 1, true}},
        {"2/0, plain stereo frames", 48000, 0, -2, {2, 0, false}},
    };
    for (const StreamCase& c : kCases) {
        const std::vector<SampleBlock> blocks = Input(c.rate);
        const EncoderSettings settings = Settings(c.rate, c.dematrix, c.tcAlloc, c.channels);
        Mp2Encoder plain;
        const std::vector<std::uint8_t> expected = Encode(plain, settings, blocks);
        for (const int threads : {1, 2, 3, 8}) {
            for (const int segmentFrames : {1, 2, 4, kBlocks + 1}) {
                SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads) +
                             ", segments of " + std::to_string(segmentFrames));
                ParallelMp2Encoder encoder(threads, segmentFrames);
                EXPECT_EQ(Encode(encoder, settings, blocks), expected);
                EXPECT_EQ(encoder.FrameCount(), kBlocks);
                ParallelMp2Encoder inPlace(threads, segmentFrames);
                EXPECT_EQ(EncodeInPlace(inPlace, settings, blocks), expected);
            }
        }
    }
}

// A reader asks for the room of the next block before it knows the input ended: the room it
// was given and never filled is no frame of the stream.
TEST(ParallelMp2Encoder, IgnoresTheRoomOfABlockThatNeverCame) {
    const std::vector<SampleBlock> blocks = Input(48000);
    const EncoderSettings settings = Settings(48000, 0, -2);
    Mp2Encoder plain;
    const std::vector<std::uint8_t> expected = Encode(plain, settings, blocks);
    for (const int segmentFrames : {1, 3, kBlocks}) {
        SCOPED_TRACE("segments of " + std::to_string(segmentFrames));
        ParallelMp2Encoder encoder(2, segmentFrames);
        MemoryFrameSink sink;
        ASSERT_TRUE(encoder.Configure(settings, sink));
        for (const SampleBlock& block : blocks) {
            encoder.NextBlock() = block;
            EXPECT_TRUE(encoder.CommitBlock());
        }
        encoder.NextBlock().Row(0)[0] = 1000.0;
        EXPECT_TRUE(encoder.Finish());
        EXPECT_EQ(sink.bytes, expected);
        EXPECT_EQ(encoder.FrameCount(), kBlocks);
    }
}

// Refuses every frame from the nth on.
class FailingSink : public FrameSink {
  public:
    explicit FailingSink(int accepted) : accepted(accepted) {}
    bool Write(std::span<const std::uint8_t>) override { return written++ < accepted; }
    int accepted;
    int written = 0;
};

TEST(ParallelMp2Encoder, StopsAtTheFirstFrameTheSinkRefuses) {
    const std::vector<SampleBlock> blocks = Input(48000);
    FailingSink sink(5);
    ParallelMp2Encoder encoder(3, 2);
    ASSERT_TRUE(encoder.Configure(Settings(48000, 0, -2), sink));
    bool accepted = true;
    for (const SampleBlock& block : blocks) accepted = encoder.EncodeFrame(block) && accepted;
    EXPECT_FALSE(encoder.Finish());
    EXPECT_EQ(sink.written, 6) << "the refused frame is the last one offered";
}

// The encoder may be dropped in the middle of a run, with segments still being encoded.
TEST(ParallelMp2Encoder, MayBeDroppedUnfinished) {
    const std::vector<SampleBlock> blocks = Input(48000);
    MemoryFrameSink sink;
    {
        ParallelMp2Encoder encoder(2, 1);
        ASSERT_TRUE(encoder.Configure(Settings(48000, 0, -2), sink));
        for (const SampleBlock& block : blocks) EXPECT_TRUE(encoder.EncodeFrame(block));
    }
    EXPECT_LT(sink.bytes.size(), kBlocks * 768u);
}

}  // namespace
}  // namespace tavrisk::mp2
