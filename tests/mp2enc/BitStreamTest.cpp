// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "mp2enc/BitStream.h"
#include "mp2enc/HeaderLookups.h"

namespace tavrisk::mp2 {
namespace {

TEST(BitStream, PacksMostSignificantBitFirstAndDropsAPartialLastByte) {
    MemoryFrameSink sink;
    EncoderLog log;
    BitStream bs;
    bs.Start(sink, log);
    bs.PutBits(0xFFF, 12);
    bs.PutBit(1);
    EXPECT_EQ(bs.BitCount(), 13u);
    bs.PutBits(0x5, 3);      // completes 0xFD
    bs.PutBits(0xABCD, 16);  // byte-aligned
    bs.PutBits(0x3, 3);      // stray bits
    EXPECT_EQ(bs.BitCount(), 35u);
    bs.EndFrame();
    EXPECT_EQ(sink.bytes, (std::vector<uint8_t>{0xFF, 0xFD, 0xAB, 0xCD}));
}

TEST(BitStream, KeepsProductionOrderAcrossManyFrames) {
    MemoryFrameSink sink;
    EncoderLog log;
    BitStream bs;
    bs.Start(sink, log);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 1000; ++i) {
        // Fields that straddle byte and buffer boundaries.
        bs.PutBits(static_cast<uint32_t>(i) & 0x7, 3);
        bs.PutBits(static_cast<uint32_t>(i * 7) & 0x1F, 5);
        expected.push_back(static_cast<uint8_t>(((i & 7) << 5) | ((i * 7) & 0x1F)));
        if (i % 16 == 15) bs.EndFrame();
    }
    bs.PutBits(0xDEADBEEF, 32);
    for (uint8_t b : {0xDE, 0xAD, 0xBE, 0xEF}) expected.push_back(b);
    bs.EndFrame();
    EXPECT_EQ(sink.bytes, expected);
    EXPECT_TRUE(log.Empty());
}

TEST(BitStream, AFrameLongerThanItsFirstBufferGrowsIt) {
    MemoryFrameSink sink;
    EncoderLog log;
    BitStream bs;
    bs.Start(sink, log);
    for (uint32_t i = 0; i < 3000; ++i) bs.PutBits(i, 16);
    bs.EndFrame();
    ASSERT_EQ(sink.bytes.size(), 6000u);
    for (uint32_t i : {0u, 2047u, 2999u})
        EXPECT_EQ(sink.bytes[2 * i] << 8 | sink.bytes[2 * i + 1], i);
}

// Fields of every width, straddling the packer's words, against a plain bit-by-bit packing;
// the bits above a field's width are ignored.
TEST(BitStream, FieldsOfEveryWidthMatchBitByBitPacking) {
    MemoryFrameSink sink;
    EncoderLog log;
    BitStream bs;
    bs.Start(sink, log);
    std::vector<bool> bits;
    std::uint32_t state = 12345;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1664525u + 1013904223u;
        const int width = 1 + static_cast<int>(state >> 27);  // 1 to 32
        const std::uint32_t value = state * 2654435761u;
        bs.PutBits(value, width);
        for (int b = width - 1; b >= 0; --b) bits.push_back(((value >> b) & 1u) != 0);
    }
    EXPECT_EQ(bs.BitCount(), bits.size());
    bs.EndFrame();
    std::vector<std::uint8_t> expected(bits.size() / 8);
    for (std::size_t b = 0; b < expected.size() * 8; ++b) {
        if (bits[b]) expected[b / 8] |= static_cast<std::uint8_t>(0x80u >> (b % 8));
    }
    EXPECT_EQ(sink.bytes, expected);
}

TEST(BitStream, StopsHandingFramesOnceTheSinkRefusedOne) {
    struct RefusingSink : FrameSink {
        int frames = 0;
        bool Write(std::span<const std::uint8_t>) override { return ++frames < 2; }
    } sink;
    EncoderLog log;
    BitStream bs;
    bs.Start(sink, log);
    for (int frame = 0; frame < 4; ++frame) {
        bs.PutBits(0xAB, 8);
        bs.EndFrame();
    }
    EXPECT_TRUE(bs.WriteFailed());
    EXPECT_EQ(sink.frames, 2);
}

TEST(HeaderLookups, BitrateAndFrequencyCodes) {
    EXPECT_EQ(BitrateIndex(2, 384), 14);
    EXPECT_EQ(BitrateIndex(1, 448), 14);
    EXPECT_EQ(BitrateIndex(2, 32), 1);
    EXPECT_EQ(BitrateIndex(2, 0), 0);
    EXPECT_EQ(BitrateIndex(2, 40), -1);

    EXPECT_EQ(SmpFrqIndex(44100), 0);
    EXPECT_EQ(SmpFrqIndex(48000), 1);
    EXPECT_EQ(SmpFrqIndex(32000), 2);
    EXPECT_EQ(SmpFrqIndex(22050), 16);
    EXPECT_EQ(SmpFrqIndex(11025), -1);
    for (long hz : {44100L, 48000L, 32000L, 22050L, 24000L, 16000L}) {
        EXPECT_EQ(SampleRateOfCode(SmpFrqIndex(hz)), hz);
    }
    EXPECT_EQ(SampleRateOfCode(3), 0);
}

}  // namespace
}  // namespace tavrisk::mp2
