// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "sources/ac3/Ac3Crc.h"
#include "sources/ac3/Ac3FrameReader.h"
#include "sources/ac3/Ac3FrameSizes.h"
#include "sources/ac3/Ac3Header.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

using ac3::Ac3FrameReader;

std::vector<uint8_t> MakeAc3Bytes(const Ac3Input& input) {
    TempDir dir;
    const std::string path = dir.File("in.ac3");
    EXPECT_TRUE(MakeAc3(path, input));
    return ReadBytes(path);
}

// Sizes of the frames the reader finds in `bytes`, with the bytes it skipped in total.
struct Walk {
    std::vector<std::size_t> sizes;
    std::size_t skipped = 0;
    Ac3FrameReader::Result end = Ac3FrameReader::Result::kFrame;
};
Walk WalkFrames(std::vector<uint8_t> bytes) {
    MemoryStream::Load(std::move(bytes));
    Ac3FrameReader reader;
    Walk walk;
    while ((walk.end = reader.Next(&MemoryStream::Read)) == Ac3FrameReader::Result::kFrame) {
        walk.sizes.push_back(reader.Frame().size());
        walk.skipped += reader.SkippedBytes();
    }
    return walk;
}

TEST(Ac3FrameSizes, MatchTheStandardTable) {
    std::ifstream table(TAVRISK_TEST_DATA_DIR "/ac3-tables/frame_sizes.txt");
    ASSERT_TRUE(table.good());
    std::string line;
    int rows = 0;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int code = 0, kbps = 0;
        std::array<int, 3> words{};
        fields >> code >> kbps >> words[0] >> words[1] >> words[2];
        for (int rate = 0; rate < 3; ++rate) {
            EXPECT_EQ(ac3::FrameBytes(code, rate), 2 * words[rate]) << code << " " << rate;
        }
        ++rows;
    }
    EXPECT_EQ(rows, ac3::kFrameSizeCodes);
    EXPECT_EQ(ac3::FrameBytes(38, 0), 0);
    EXPECT_EQ(ac3::FrameBytes(0, 3), 0);
}

TEST(Ac3Header, DescribesFiveOneAndStereoStreams) {
    const auto surround = MakeAc3Bytes({.rate = 48000, .seconds = 0.1});
    const auto header = ac3::ParseAc3Header(surround);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->sampleRateCode, 0);
    EXPECT_EQ(header->frameSizeCode, 30);  // 448 kbit/s
    EXPECT_EQ(header->acmod, 7);
    EXPECT_EQ(header->lfeOn, 1);
    EXPECT_EQ(header->FrameBytes(), 1792);
    const auto record = header->ToRecord();
    EXPECT_EQ(record, (ac3::Ac3Header::Record{0, 30, 0, 7, 0, 0, 0, 1}));

    const auto stereo =
        MakeAc3Bytes({.rate = 44100, .seconds = 0.1, .layout = "stereo", .kbps = 192});
    const auto stereoHeader = ac3::ParseAc3Header(stereo);
    ASSERT_TRUE(stereoHeader);
    EXPECT_EQ(stereoHeader->sampleRateCode, 1);
    EXPECT_EQ(stereoHeader->acmod, 2);
    EXPECT_EQ(stereoHeader->lfeOn, 0);

    std::vector<uint8_t> broken = surround;
    broken[4] = 0xC0;  // sample-rate code 3
    EXPECT_FALSE(ac3::ParseAc3Header(broken));
    broken = surround;
    broken[1] = 0x78;
    EXPECT_FALSE(ac3::ParseAc3Header(broken));
}

TEST(Ac3FrameReader, WalksA44100StreamOfAlternatingSizesToItsExactEnd) {
    const auto bytes = MakeAc3Bytes({.rate = 44100, .seconds = 1.0, .kbps = 448});
    const Walk walk = WalkFrames(bytes);
    EXPECT_EQ(walk.end, Ac3FrameReader::Result::kEndOfStream);
    std::size_t total = 0;
    bool sawShort = false, sawLong = false;
    for (std::size_t size : walk.sizes) {
        total += size;
        sawShort |= size == 1950;
        sawLong |= size == 1952;
    }
    EXPECT_EQ(total, bytes.size());
    EXPECT_EQ(walk.skipped, 0u);
    EXPECT_TRUE(sawShort && sawLong);
    EXPECT_EQ(MemoryStream::Position(), bytes.size());
}

TEST(Ac3FrameReader, SkipsGarbageAndStraySyncwordsBetweenFrames) {
    const auto clean = MakeAc3Bytes({.seconds = 0.5});
    const std::size_t frameBytes = 1792;
    const std::size_t frames = clean.size() / frameBytes;
    // Garbage with a syncword and a plausible header in front, and more after frame 3.
    std::vector<uint8_t> garbage = {0x0B, 0x77, 0x12, 0x34, 0x1E, 0x40, 0xE1, 0x00, 0x55};
    garbage.resize(2000, 0x0B);
    std::vector<uint8_t> bytes = garbage;
    bytes.insert(bytes.end(), clean.begin(), clean.begin() + 3 * frameBytes);
    bytes.insert(bytes.end(), garbage.begin(), garbage.begin() + 333);
    bytes.insert(bytes.end(), clean.begin() + 3 * frameBytes, clean.end());
    const Walk walk = WalkFrames(bytes);
    EXPECT_EQ(walk.sizes.size(), frames);
    EXPECT_EQ(walk.skipped, garbage.size() + 333);
    EXPECT_EQ(walk.end, Ac3FrameReader::Result::kEndOfStream);
}

TEST(Ac3FrameReader, FindsNothingInEmptyOrRandomInput) {
    EXPECT_TRUE(WalkFrames({}).sizes.empty());
    std::mt19937 random(7);
    std::vector<uint8_t> noise(200000);
    for (auto& byte : noise) byte = static_cast<uint8_t>(random());
    // Plant syncwords so that headers are parsed and frames read, yet no CRC holds.
    for (std::size_t i = 0; i + 2 < noise.size(); i += 997) {
        noise[i] = 0x0B;
        noise[i + 1] = 0x77;
    }
    const Walk walk = WalkFrames(noise);
    EXPECT_TRUE(walk.sizes.empty());
    EXPECT_EQ(walk.end, Ac3FrameReader::Result::kEndOfStream);
}

TEST(Ac3FrameReader, GivesUpTheSearchForAFirstFrameAfterItsBound) {
    const auto stream = MakeAc3Bytes({.seconds = 0.2});
    for (std::size_t leading :
         {ac3::kFirstFrameSearchBytes - 100, ac3::kFirstFrameSearchBytes + 1}) {
        std::vector<uint8_t> bytes(leading, 0);
        bytes.insert(bytes.end(), stream.begin(), stream.end());
        MemoryStream::Load(bytes);
        Ac3FrameReader reader;
        const bool found = leading < ac3::kFirstFrameSearchBytes;
        EXPECT_EQ(reader.Next(&MemoryStream::Read) == Ac3FrameReader::Result::kFrame, found);
        if (found) {
            EXPECT_EQ(reader.SkippedBytes(), leading);
        } else {
            EXPECT_LE(MemoryStream::Position(), leading + ac3::Ac3Header::kBytes);
        }
    }
}

TEST(Ac3FrameReader, KeepsTheFramesAfterOneWhoseSizeCodeIsDamaged) {
    auto bytes = MakeAc3Bytes({.seconds = 0.5});
    const std::size_t frames = bytes.size() / 1792;
    // Frame 5 would claim 3840 bytes, past the two frames after it.
    bytes[5 * 1792 + 4] = 0x25;
    const Walk walk = WalkFrames(bytes);
    EXPECT_EQ(walk.sizes.size(), frames - 1);
    EXPECT_EQ(walk.skipped, 1792u);
}

TEST(Ac3FrameReader, EndsAtAFrameCutShortAndStartsAgainAfterTheEnd) {
    auto bytes = MakeAc3Bytes({.seconds = 0.5});
    const std::size_t whole = bytes.size() / 1792;
    ASSERT_GT(whole, 2u);
    bytes.erase(bytes.end() - 100, bytes.end());
    MemoryStream::Load(bytes);
    Ac3FrameReader reader;
    std::size_t frames = 0;
    while (reader.Next(&MemoryStream::Read) == Ac3FrameReader::Result::kFrame) ++frames;
    EXPECT_EQ(frames, whole - 1);
    MemoryStream::Rewind();
    ASSERT_EQ(reader.Next(&MemoryStream::Read), Ac3FrameReader::Result::kFrame);
    EXPECT_EQ(MemoryStream::Position(), 1792u);
}

TEST(Ac3FrameReader, ReportsTheReadErrorText) {
    Ac3FrameReader reader;
    const auto failing = [](uint8_t*, int) -> const char* { return "Input/output error"; };
    EXPECT_EQ(reader.Next(failing), Ac3FrameReader::Result::kReadError);
    EXPECT_STREQ(reader.ErrorText(), "Input/output error");
}

TEST(Ac3Crc, AcceptsEncodedFramesAndCatchesAFlippedBit) {
    const auto bytes = MakeAc3Bytes({.seconds = 0.1});
    std::vector<uint8_t> frame(bytes.begin(), bytes.begin() + 1792);
    EXPECT_TRUE(ac3::FrameCrcValid(frame));
    for (std::size_t at : {std::size_t{20}, std::size_t{1500}}) {
        auto damaged = frame;
        damaged[at] ^= 0x10;
        EXPECT_FALSE(ac3::FrameCrcValid(damaged)) << at;
    }
}

}  // namespace
}  // namespace tavrisk::test
