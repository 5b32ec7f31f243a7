// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/RiffReader.h"
#include "platform/RiffWriter.h"
#include "tests/io/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// "RIFF" form "TEST" holding "odd " (3 bytes, padded) and "next" (4 bytes).
std::string WriteSample(const TempDir& dir) {
    const std::string path = dir.File("sample.riff");
    RiffWriter writer;
    RiffChunk riff, chunk;
    EXPECT_TRUE(writer.Create(path));
    EXPECT_TRUE(writer.CreateRiff(FourCc("TEST"), riff));
    EXPECT_TRUE(writer.CreateChunk(FourCc("odd "), chunk));
    EXPECT_TRUE(writer.Write("abc", 3));
    EXPECT_TRUE(writer.Ascend(chunk));
    EXPECT_EQ(chunk.size, 3u);
    EXPECT_TRUE(writer.CreateChunk(FourCc("next"), chunk));
    EXPECT_TRUE(writer.Write("wxyz", 4));
    EXPECT_TRUE(writer.Ascend(chunk));
    EXPECT_TRUE(writer.Ascend(riff));
    EXPECT_TRUE(writer.Close());
    return path;
}

TEST(Riff, WriterFixesSizesAndPadsOddChunks) {
    TempDir dir;
    const auto bytes = ReadBytes(WriteSample(dir));
    // 12 (RIFF header and form) + 8 + 3 + pad + 8 + 4.
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(GetLe32(bytes.data()), FourCc("RIFF"));
    EXPECT_EQ(GetLe32(bytes.data() + 4), bytes.size() - 8);
    EXPECT_EQ(GetLe32(bytes.data() + 8), FourCc("TEST"));
    EXPECT_EQ(GetLe32(bytes.data() + 16), 3u);
    EXPECT_EQ(bytes[23], 0);  // the pad byte
    EXPECT_EQ(GetLe32(bytes.data() + 24), FourCc("next"));
    EXPECT_EQ(GetLe32(bytes.data() + 28), 4u);
}

TEST(Riff, ReaderFindsChunksPastPaddedOnes) {
    TempDir dir;
    const std::string path = WriteSample(dir);
    RiffReader reader;
    ASSERT_TRUE(reader.Open(path));
    RiffChunk riff, chunk;
    EXPECT_FALSE(reader.DescendRiff(FourCc("WAVE"), riff));
    ASSERT_TRUE(reader.DescendRiff(FourCc("TEST"), riff));
    ASSERT_TRUE(reader.FindChunk(FourCc("next"), riff, chunk));
    std::array<char, 4> body{};
    EXPECT_EQ(reader.Read(body.data(), body.size()), 4u);
    EXPECT_EQ(std::string(body.data(), 4), "wxyz");
    // The search goes on from the current position, so an earlier chunk is not found again.
    EXPECT_FALSE(reader.FindChunk(FourCc("odd "), riff, chunk));
    ASSERT_TRUE(reader.DescendRiff(FourCc("TEST"), riff));
    ASSERT_TRUE(reader.FindChunk(FourCc("odd "), riff, chunk));
    ASSERT_TRUE(reader.Ascend(chunk));
    EXPECT_EQ(reader.Tell(), 24u);
    EXPECT_FALSE(reader.FindChunk(FourCc("none"), riff, chunk));
}

TEST(Riff, ReaderTrustsNoSizeBeyondTheFile) {
    TempDir dir;
    const std::string path = dir.File("cut.riff");
    auto bytes = ReadBytes(WriteSample(dir));
    PutLe32(bytes.data() + 28, 1000);  // "next" claims more than the file holds
    WriteBytes(path, bytes);
    RiffReader reader;
    ASSERT_TRUE(reader.Open(path));
    RiffChunk riff, chunk;
    ASSERT_TRUE(reader.DescendRiff(FourCc("TEST"), riff));
    ASSERT_TRUE(reader.FindChunk(FourCc("next"), riff, chunk));
    EXPECT_EQ(chunk.size, 1000u);
    EXPECT_EQ(reader.AvailableBytes(chunk), 4u);
    EXPECT_FALSE(reader.FindChunk(FourCc("more"), riff, chunk));

    // A header cut in the middle, an empty file and a file that is not RIFF.
    bytes.resize(26);
    WriteBytes(path, bytes);
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.DescendRiff(FourCc("TEST"), riff));
    EXPECT_FALSE(reader.FindChunk(FourCc("next"), riff, chunk));
    WriteBytes(path, {});
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.FileSize(), 0u);
    EXPECT_FALSE(reader.DescendRiff(FourCc("TEST"), riff));
    WriteBytes(path, std::vector<uint8_t>(64, 'x'));
    ASSERT_TRUE(reader.Open(path));
    EXPECT_FALSE(reader.DescendRiff(FourCc("TEST"), riff));
    EXPECT_FALSE(reader.Open(dir.File("missing.riff")));
}

TEST(Riff, WriterRefusesToGrowPastItsLimitAndStaysValid) {
    TempDir dir;
    const std::string path = dir.File("limit.riff");
    RiffWriter writer(40);
    RiffChunk riff, chunk;
    ASSERT_TRUE(writer.Create(path));
    ASSERT_TRUE(writer.CreateRiff(FourCc("TEST"), riff));
    ASSERT_TRUE(writer.CreateChunk(FourCc("data"), chunk));
    const std::array<uint8_t, 16> payload{};
    EXPECT_TRUE(writer.Write(payload.data(), payload.size()));
    EXPECT_FALSE(writer.Write(payload.data(), payload.size()));
    EXPECT_TRUE(writer.Ascend(chunk));
    EXPECT_TRUE(writer.Ascend(riff));
    EXPECT_TRUE(writer.Close());
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(GetLe32(bytes.data() + 4), 28u);
    EXPECT_EQ(GetLe32(bytes.data() + 16), 16u);
}

// Records written at once on a disk that fills up in the middle of them: the file keeps the
// whole records that fit, with sizes that describe it, and no part of the next one.
TEST(Riff, RecordsThatDoNotAllFitLeaveTheWholeOnes) {
    TempDir dir;
    const std::string path = dir.File("records.riff");
    constexpr std::size_t kRecord = 1000;
    std::vector<uint8_t> records(10 * kRecord);
    for (std::size_t i = 0; i < records.size(); ++i) records[i] = static_cast<uint8_t>(i / kRecord);
    RiffWriter writer;
    RiffChunk riff, chunk;
    {
        test::FileSizeLimit limit(20 + 3 * kRecord + kRecord / 2);
        ASSERT_TRUE(writer.Create(path));
        ASSERT_TRUE(writer.CreateRiff(FourCc("TEST"), riff));
        ASSERT_TRUE(writer.CreateChunk(FourCc("data"), chunk));
        EXPECT_EQ(writer.WriteRecords(records.data(), kRecord, 10), 3u);
        EXPECT_EQ(writer.WriteRecords(records.data(), kRecord, 1), 0u);
        EXPECT_TRUE(writer.Ascend(chunk));
        EXPECT_TRUE(writer.Ascend(riff));
        EXPECT_FALSE(writer.Close());
    }
    const auto bytes = ReadBytes(OutputFile::PartialName(path));
    ASSERT_EQ(bytes.size(), 20 + 3 * kRecord);
    EXPECT_EQ(GetLe32(bytes.data() + 16), 3 * kRecord);
    EXPECT_TRUE(std::equal(bytes.begin() + 20, bytes.end(), records.begin()));

    // With room for all, one write carries them.
    RiffWriter roomy;
    ASSERT_TRUE(roomy.Create(path));
    EXPECT_EQ(roomy.WriteRecords(records.data(), kRecord, 10), 10u);
    EXPECT_TRUE(roomy.Close());
    EXPECT_EQ(ReadBytes(path), records);
}

TEST(Riff, WriterReportsAFullDisk) {
    RiffWriter writer;
    RiffChunk riff, chunk;
    ASSERT_TRUE(writer.Create("/dev/full"));
    writer.CreateRiff(FourCc("TEST"), riff);
    writer.CreateChunk(FourCc("data"), chunk);
    const std::vector<uint8_t> payload(1 << 16);
    EXPECT_FALSE(writer.Write(payload.data(), payload.size()));
    EXPECT_FALSE(writer.Close());
}

}  // namespace
}  // namespace tavrisk
