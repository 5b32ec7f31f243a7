// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/WavWriter.h"
#include "tests/io/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::ReadBytes;
using test::TempDir;

struct WavHeader {
    uint32_t riffSize, fmtSize, rate, bytesPerSecond, dataSize;
    uint16_t tag, channels, blockAlign, bits, extraSize;
};

WavHeader ParseHeader(const std::vector<uint8_t>& bytes) {
    EXPECT_GE(bytes.size(), 46u);
    EXPECT_EQ(GetLe32(bytes.data()), FourCc("RIFF"));
    EXPECT_EQ(GetLe32(bytes.data() + 8), FourCc("WAVE"));
    EXPECT_EQ(GetLe32(bytes.data() + 12), FourCc("fmt "));
    EXPECT_EQ(GetLe32(bytes.data() + 38), FourCc("data"));
    return {GetLe32(bytes.data() + 4),  GetLe32(bytes.data() + 16), GetLe32(bytes.data() + 24),
            GetLe32(bytes.data() + 28), GetLe32(bytes.data() + 42), GetLe16(bytes.data() + 20),
            GetLe16(bytes.data() + 22), GetLe16(bytes.data() + 32), GetLe16(bytes.data() + 34),
            GetLe16(bytes.data() + 36)};
}

TEST(WavWriter, SixChannelHeaderAndSizesAfterClose) {
    TempDir dir;
    const std::string path = dir.File("six.wav");
    constexpr std::size_t kBlocks = 3;
    const std::vector<uint8_t> block(1152 * 12, 0x11);
    {
        WavWriter writer;
        ASSERT_TRUE(writer.Open(path, 6, 48000, 16));
        for (std::size_t i = 0; i < kBlocks; ++i) {
            ASSERT_TRUE(writer.Write(block.data(), block.size()));
        }
        ASSERT_TRUE(writer.Close());
        EXPECT_TRUE(writer.Close());  // closing twice is harmless
    }
    const auto bytes = ReadBytes(path);
    const WavHeader header = ParseHeader(bytes);
    EXPECT_EQ(header.fmtSize, 18u);
    EXPECT_EQ(header.tag, 1);
    EXPECT_EQ(header.channels, 6);
    EXPECT_EQ(header.rate, 48000u);
    EXPECT_EQ(header.bytesPerSecond, 576000u);
    EXPECT_EQ(header.blockAlign, 12);
    EXPECT_EQ(header.bits, 16);
    EXPECT_EQ(header.extraSize, 18);
    EXPECT_EQ(header.dataSize, kBlocks * 1152 * 12);
    EXPECT_EQ(header.riffSize, 38 + header.dataSize);
    EXPECT_EQ(bytes.size(), 46 + header.dataSize);
}

TEST(WavWriter, MonoHeaderAndEmptyFileAreValid) {
    TempDir dir;
    const std::string path = dir.File("mono.wav");
    {
        WavWriter writer;
        ASSERT_TRUE(writer.Open(path, 1, 44100, 16));
        ASSERT_TRUE(writer.Close());
    }
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 46u);
    const WavHeader header = ParseHeader(bytes);
    EXPECT_EQ(header.channels, 1);
    EXPECT_EQ(header.rate, 44100u);
    EXPECT_EQ(header.bytesPerSecond, 88200u);
    EXPECT_EQ(header.blockAlign, 2);
    EXPECT_EQ(header.dataSize, 0u);
    EXPECT_EQ(header.riffSize, 38u);
}

TEST(WavWriter, AnEarlierFileStaysUnlessTheNewOneIsClosed) {
    TempDir dir;
    const std::string path = dir.File("take.wav");
    const std::vector<uint8_t> earlier = {7, 7, 7};
    test::WriteBytes(path, earlier);
    const std::vector<uint8_t> block(1152 * 12, 0x22);
    {
        WavWriter writer;
        ASSERT_TRUE(writer.Open(path, 6, 48000, 16));
        ASSERT_TRUE(writer.Write(block.data(), block.size()));
        EXPECT_EQ(ReadBytes(path), earlier);
        writer.Discard();
        ASSERT_TRUE(writer.Open(path, 6, 48000, 16));
        ASSERT_TRUE(writer.Write(block.data(), block.size()));
    }  // dropped without Close
    EXPECT_EQ(ReadBytes(path), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "no temporary is left";
}

TEST(WavWriter, SamplesAreTruncatedLittleEndian16Bit) {
    std::array<uint8_t, 2> bytes{};
    WavWriter::PutSample(-32767.0, bytes.data());
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0x80);
    WavWriter::PutSample(32767.0, bytes.data());
    EXPECT_EQ(GetLe16(bytes.data()), 0x7FFF);
    WavWriter::PutSample(-1.9, bytes.data());
    EXPECT_EQ(static_cast<int16_t>(GetLe16(bytes.data())), -1);
    WavWriter::PutSample(1.9, bytes.data());
    EXPECT_EQ(GetLe16(bytes.data()), 1);
}

TEST(WavWriter, FailuresAreReported) {
    TempDir dir;
    WavWriter writer;
    EXPECT_FALSE(writer.Open(dir.File("missing/out.wav"), 6, 48000, 16));
    EXPECT_FALSE(writer.IsOpen());

    // A header that cannot be written; the device is left alone.
    EXPECT_FALSE(writer.Open("/dev/full", 6, 48000, 16));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));

    const std::string path = dir.File("limited.wav");
    test::FileSizeLimit limit(20000);
    ASSERT_TRUE(writer.Open(path, 6, 48000, 16));
    const std::vector<uint8_t> block(1152 * 12);
    bool wrote = true;
    for (int i = 0; i < 8 && wrote; ++i) {
        wrote = writer.Write(block.data(), block.size());
    }
    EXPECT_FALSE(wrote);
    EXPECT_FALSE(writer.Close());
}

TEST(WavWriter, OutputOpensInFfprobeAndSox) {
    if (!test::HaveProgram("ffprobe") || !test::HaveProgram("sox")) {
        FAIL() << "ffprobe and sox are needed (scripts/setup.sh installs them)";
    }
    TempDir dir;
    const std::string path = dir.File("tools.wav");
    {
        WavWriter writer;
        ASSERT_TRUE(writer.Open(path, 6, 44100, 16));
        std::vector<uint8_t> frames(1000 * 12);
        for (std::size_t i = 0; i < frames.size(); i += 2) {
            WavWriter::PutSample(static_cast<double>(i % 2000) - 1000.0, frames.data() + i);
        }
        ASSERT_TRUE(writer.Write(frames.data(), frames.size()));
        ASSERT_TRUE(writer.Close());
    }
    const auto probe = test::RunCommand(
        "ffprobe -v error -show_entries stream=channels,sample_rate,duration_ts -of csv=p=0 " +
        test::Quote(path));
    ASSERT_EQ(probe.exitCode, 0) << probe.output;
    EXPECT_NE(probe.output.find("44100,6,1000"), std::string::npos) << probe.output;
    const auto sox = test::RunCommand("sox --i -s " + test::Quote(path));
    ASSERT_EQ(sox.exitCode, 0) << sox.output;
    EXPECT_EQ(std::stoul(sox.output), 1000u);
}

}  // namespace
}  // namespace tavrisk
