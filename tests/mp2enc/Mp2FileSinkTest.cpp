// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "engines/Mp2FileSink.h"
#include "tests/io/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using tavrisk::test::ReadBytes;
using tavrisk::test::TempDir;

TEST(Mp2FileSink, ReportsAnOutputThatCannotBeCreatedOrWritten) {
    Mp2FileSink sink;
    EXPECT_FALSE(sink.Open("/nonexistent-dir/out.mp2"));

    Mp2FileSink full;
    ASSERT_TRUE(full.Open("/dev/full", 64));
    const std::vector<uint8_t> frame(100, 0xAB);
    EXPECT_FALSE(full.Write(frame));
    EXPECT_TRUE(full.WriteFailed());
    EXPECT_FALSE(full.Close());
}

TEST(Mp2FileSink, AFailedWriteLeavesTheFileAtItsLastWholeFrame) {
    TempDir dir;
    const std::string path = dir.File("cut.mp2");
    constexpr int kFrameBytes = 100;
    Mp2FileSink bs;
    {
        // Buffers of 4096 bytes: the third write stops short at 10050 bytes, inside the
        // 101st frame, after frames that reached the file whole from that very buffer.
        tavrisk::test::FileSizeLimit limit(10050);
        ASSERT_TRUE(bs.Open(path, 4096));
        for (int frame = 0; frame < 200; ++frame) {
            bs.Write(std::vector<uint8_t>(kFrameBytes, static_cast<uint8_t>(frame)));
        }
        EXPECT_TRUE(bs.WriteFailed());
        EXPECT_FALSE(bs.Close());
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    const auto bytes = ReadBytes(dir.File("cut.partial.mp2"));
    ASSERT_EQ(bytes.size(), 100u * kFrameBytes);
    EXPECT_EQ(bytes.back(), 99);
}

TEST(Mp2FileSink, AnEarlierFileStaysUnlessTheNewOneHoldsAByte) {
    TempDir dir;
    const std::string path = dir.File("kept.mp2");
    const std::vector<uint8_t> earlier = {7, 7, 7};
    tavrisk::test::WriteBytes(path, earlier);
    {
        Mp2FileSink dropped;
        ASSERT_TRUE(dropped.Open(path, 16));
        dropped.Write(std::vector<uint8_t>(100, 0xAB));
    }
    EXPECT_EQ(ReadBytes(path), earlier) << "dropped without close";
    Mp2FileSink bs;
    ASSERT_TRUE(bs.Open(path, 16));
    EXPECT_TRUE(bs.Close()) << "nothing put";
    EXPECT_EQ(ReadBytes(path), earlier);
    {
        tavrisk::test::FileSizeLimit limit(0);
        ASSERT_TRUE(bs.Open(path, 16));
        bs.Write(std::vector<uint8_t>(100, 0xAB));
        EXPECT_FALSE(bs.Close()) << "the first write failed";
    }
    EXPECT_EQ(ReadBytes(path), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
}  // namespace tavrisk
