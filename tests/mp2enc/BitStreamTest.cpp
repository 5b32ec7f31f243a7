#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "mp2enc/BitStream.h"
#include "mp2enc/HeaderLookups.h"
#include "tests/io/FileSizeLimit.h"
#include "tests/mp2enc/StreamCapture.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::mp2 {
namespace {

using tavrisk::test::ReadBytes;
using tavrisk::test::TempDir;

using Capture = test::StreamCapture;

TEST(BitStream, PacksMostSignificantBitFirstAndDropsAPartialLastByte) {
    TempDir dir;
    const std::string path = dir.File("bits.bin");
    BitStream bs;
    ASSERT_TRUE(bs.Open(path, 4096, stdout));
    bs.PutBits(0xFFF, 12);
    bs.PutBit(1);
    EXPECT_EQ(bs.BitCount(), 13u);
    bs.PutBits(0x5, 3);      // completes 0xFD
    bs.PutBits(0xABCD, 16);  // byte-aligned
    bs.PutBits(0x3, 3);      // stray bits
    EXPECT_EQ(bs.BitCount(), 35u);
    ASSERT_TRUE(bs.Close());
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{0xFF, 0xFD, 0xAB, 0xCD}));
}

TEST(BitStream, KeepsProductionOrderAcrossManyBufferFlushes) {
    TempDir dir;
    const std::string path = dir.File("many.bin");
    BitStream bs;
    ASSERT_TRUE(bs.Open(path, 16, stdout));  // a small buffer: many flushes
    std::vector<uint8_t> expected;
    for (int i = 0; i < 1000; ++i) {
        // Fields that straddle byte and buffer boundaries.
        bs.PutBits(static_cast<uint32_t>(i) & 0x7, 3);
        bs.PutBits(static_cast<uint32_t>(i * 7) & 0x1F, 5);
        expected.push_back(static_cast<uint8_t>(((i & 7) << 5) | ((i * 7) & 0x1F)));
    }
    bs.PutBits(0xDEADBEEF, 32);
    for (uint8_t b : {0xDE, 0xAD, 0xBE, 0xEF}) expected.push_back(b);
    ASSERT_TRUE(bs.Close());
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST(BitStream, ReportsAnOutputThatCannotBeCreatedOrWritten) {
    Capture messages;
    BitStream bs;
    EXPECT_FALSE(bs.Open("/nonexistent-dir/out.mp2", 4096, messages.stream()));
    EXPECT_EQ(messages.text(), "Could not create \"/nonexistent-dir/out.mp2\".\n");

    BitStream full;
    ASSERT_TRUE(full.Open("/dev/full", 64, stdout));
    for (int i = 0; i < 100; ++i) full.PutBits(0xAB, 8);
    EXPECT_TRUE(full.WriteFailed());
    EXPECT_FALSE(full.Close());
}

TEST(BitStream, AFailedWriteLeavesTheFileAtItsLastWholeFrame) {
    TempDir dir;
    const std::string path = dir.File("cut.mp2");
    constexpr int kFrameBytes = 100;
    BitStream bs;
    {
        // Buffers of 4096 bytes: the third write stops short at 10050 bytes, inside the
        // 101st frame, after frames that reached the file whole from that very buffer.
        tavrisk::test::FileSizeLimit limit(10050);
        ASSERT_TRUE(bs.Open(path, 4096, stdout));
        for (int frame = 0; frame < 200; ++frame) {
            for (int i = 0; i < kFrameBytes; ++i) bs.PutBits(static_cast<uint32_t>(frame), 8);
            bs.EndFrame();
        }
        EXPECT_TRUE(bs.WriteFailed());
        EXPECT_FALSE(bs.Close());
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    const auto bytes = ReadBytes(dir.File("cut.partial.mp2"));
    ASSERT_EQ(bytes.size(), 100u * kFrameBytes);
    EXPECT_EQ(bytes.back(), 99);
}

TEST(BitStream, AnEarlierFileStaysUnlessTheNewOneHoldsAByte) {
    TempDir dir;
    const std::string path = dir.File("kept.mp2");
    const std::vector<uint8_t> earlier = {7, 7, 7};
    tavrisk::test::WriteBytes(path, earlier);
    {
        BitStream dropped;
        ASSERT_TRUE(dropped.Open(path, 16, stdout));
        for (int i = 0; i < 100; ++i) dropped.PutBits(0xAB, 8);
    }
    EXPECT_EQ(ReadBytes(path), earlier) << "dropped without close";
    BitStream bs;
    ASSERT_TRUE(bs.Open(path, 16, stdout));
    EXPECT_TRUE(bs.Close()) << "nothing put";
    EXPECT_EQ(ReadBytes(path), earlier);
    {
        tavrisk::test::FileSizeLimit limit(0);
        ASSERT_TRUE(bs.Open(path, 16, stdout));
        for (int i = 0; i < 100; ++i) bs.PutBits(0xAB, 8);
        bs.EndFrame();
        EXPECT_FALSE(bs.Close()) << "the first write failed";
    }
    EXPECT_EQ(ReadBytes(path), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(HeaderLookups, BitrateAndFrequencyCodes) {
    Capture err;
    EXPECT_EQ(BitrateIndex(2, 384, err.stream()), 14);
    EXPECT_EQ(BitrateIndex(1, 448, err.stream()), 14);
    EXPECT_EQ(BitrateIndex(2, 32, err.stream()), 1);
    EXPECT_EQ(BitrateIndex(2, 0, err.stream()), 0);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(BitrateIndex(2, 40, err.stream()), -1);
    EXPECT_EQ(err.text(), "BitrateIndex: 40 (layer 2) is not a legal bitrate\n");

    Capture err2;
    EXPECT_EQ(SmpFrqIndex(44100, err2.stream()), 0);
    EXPECT_EQ(SmpFrqIndex(48000, err2.stream()), 1);
    EXPECT_EQ(SmpFrqIndex(32000, err2.stream()), 2);
    EXPECT_EQ(SmpFrqIndex(22050, err2.stream()), 16);
    EXPECT_EQ(SmpFrqIndex(11025, err2.stream()), -1);
    EXPECT_EQ(err2.text(), "SmpFrqIndex: 11025 is not a legal sample rate\n");
}

}  // namespace
}  // namespace tavrisk::mp2
