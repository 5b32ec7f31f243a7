// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "tests/mp2dec/DecoderTestSupport.h"
#include "tests/mp2dec/TestFrameWriter.h"

namespace tavrisk::mp2dec::test {
namespace {

using tavrisk::test::HaveProgram;
using tavrisk::test::Quote;
using tavrisk::test::ReadBytes;
using tavrisk::test::ReadWav;
using tavrisk::test::RunCommand;
using tavrisk::test::TempDir;
using tavrisk::test::WriteBytes;

constexpr std::size_t kFrameBytes = 1152;  // 48 kHz, 384 kbit/s
constexpr std::size_t kFrameSamples = 1152;

class BadInput : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveProgram("twolame") || !HaveProgram("sox"))
            GTEST_SKIP() << "twolame or sox missing";
        const std::string wav = dir.File("in.wav");
        ASSERT_EQ(RunCommand("sox -n -r 48000 -c 2 -b 16 " + Quote(wav) +
                             " synth 1 sine 440 sine 660 gain -6")
                      .exitCode,
                  0);
        // With the compatible CRC, so that a damaged allocation is detected.
        ASSERT_EQ(RunCommand("twolame -p -b 384 " + Quote(wav) + " " + Quote(dir.File("good.mp2")))
                      .exitCode,
                  0);
        good = ReadBytes(dir.File("good.mp2"));
        ASSERT_EQ(good.size() % kFrameBytes, 0u);
        frames = good.size() / kFrameBytes;
        ASSERT_GT(frames, 20u);
    }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteBytes(dir.File(name), bytes);
        return dir.File(name);
    }

    // Decodes to six channels; returns the number of frames written.
    std::size_t DecodedFrames(const std::string& path, int expectedStatus, std::string* messages) {
        const std::string out = path + ".wav";
        EXPECT_EQ(Decode({path, out}, messages), expectedStatus) << *messages;
        return ReadWav(out).Frames() / kFrameSamples;
    }

    TempDir dir;
    std::vector<uint8_t> good;
    std::size_t frames = 0;
};

TEST_F(BadInput, CleanStereoFilePassesTheCheck) {
    std::string report;
    EXPECT_EQ(Check(dir.File("good.mp2"), &report), 0) << report;
    EXPECT_NE(report.find(std::to_string(frames) + " frame(s), 0 with multichannel extension"),
              std::string::npos)
        << report;
    std::string messages;
    EXPECT_EQ(DecodedFrames(dir.File("good.mp2"), 0, &messages), frames);
    EXPECT_NE(messages.find("no multichannel extension"), std::string::npos) << messages;
    // The stream's own channels: the pair, with the stereo mask.
    const tavrisk::test::PcmAudio pair = ReadWav(dir.File("good.mp2.wav"), true);
    EXPECT_EQ(pair.channels, 2);
    EXPECT_GT(tavrisk::test::Rms(pair.Channel(1)), 100.0);
    EXPECT_NE(messages.find("(2 channels, "), std::string::npos) << messages;
}

TEST_F(BadInput, StereoWithOtherAncillaryDataIsNotTakenForAnExtension) {
    // twolame's energy levels sit in the ancillary area of every frame.
    const std::string path = dir.File("energy.mp2");
    ASSERT_EQ(
        RunCommand("twolame -E -b 384 " + Quote(dir.File("in.wav")) + " " + Quote(path)).exitCode,
        0);
    std::string report;
    EXPECT_EQ(Check(path, &report), 0) << report;
    EXPECT_NE(report.find("frame 1: warning: ancillary data is not a multichannel extension"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("0 with multichannel extension, 0 damaged; 0 error(s), 1 warning(s)"),
              std::string::npos)
        << report;
    std::string messages;
    EXPECT_EQ(DecodedFrames(path, 0, &messages), frames);
}

TEST_F(BadInput, TruncatedLastFrame) {
    auto bytes = good;
    bytes.resize(bytes.size() - kFrameBytes / 2);
    const std::string path = Write("cut.mp2", bytes);
    std::string report;
    EXPECT_EQ(Check(path, &report), 1);
    EXPECT_NE(
        report.find("frame " + std::to_string(frames) + ": truncated frame: 576 of 1152 bytes"),
        std::string::npos)
        << report;
    std::string messages;
    EXPECT_EQ(DecodedFrames(path, 1, &messages), frames - 1);
}

TEST_F(BadInput, GarbageBetweenFramesIsSkipped) {
    auto bytes = good;
    const std::vector<uint8_t> garbage(100, 0x5A);
    bytes.insert(bytes.begin() + 10 * kFrameBytes, garbage.begin(), garbage.end());
    bytes.insert(bytes.begin(), garbage.begin(), garbage.begin() + 7);
    const std::string path = Write("garbage.mp2", bytes);
    std::string report;
    EXPECT_EQ(Check(path, &report), 1);
    EXPECT_NE(report.find("frame 1: 7 bytes without frame sync skipped before the frame"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("frame 11: 100 bytes without frame sync skipped before the frame"),
              std::string::npos)
        << report;
    std::string messages;
    EXPECT_EQ(DecodedFrames(path, 1, &messages), frames);
}

TEST_F(BadInput, WrongCompatibleCrcMutesOnlyThatFrame) {
    auto bytes = good;
    bytes[4 * kFrameBytes + 7] ^= 0x10;  // inside the allocation of frame 5
    const std::string path = Write("crc.mp2", bytes);
    std::string report;
    EXPECT_EQ(Check(path, &report), 1);
    EXPECT_NE(report.find("frame 5: CRC mismatch in the compatible part"), std::string::npos)
        << report;
    std::string messages;
    EXPECT_EQ(DecodedFrames(path, 1, &messages), frames);
    EXPECT_NE(messages.find("1 damaged frame(s) muted"), std::string::npos) << messages;
}

TEST_F(BadInput, ZerosAndEmptyFilesAreRefusedCleanly) {
    for (std::size_t size : {std::size_t{0}, std::size_t{10000}}) {
        const std::string path =
            Write("zeros" + std::to_string(size) + ".mp2", std::vector<uint8_t>(size, 0));
        std::string report;
        EXPECT_EQ(Check(path, &report), 1);
        EXPECT_NE(report.find("no frames found"), std::string::npos) << report;
        if (size > 0) {
            EXPECT_NE(report.find("10000 bytes without frame sync (no frame found)"),
                      std::string::npos)
                << report;
        }
        std::string messages;
        EXPECT_EQ(Decode({path, path + ".wav"}, &messages), 1);
        EXPECT_NE(messages.find("no frames found"), std::string::npos) << messages;
    }
}

TEST_F(BadInput, SamplingRateChangeIsReportedAndItsFramesSkipped) {
    const std::string wav44 = dir.File("in44.wav");
    const std::string mp2_44 = dir.File("in44.mp2");
    ASSERT_EQ(
        RunCommand("sox -n -r 44100 -c 2 -b 16 " + Quote(wav44) + " synth 0.5 sine 440").exitCode,
        0);
    ASSERT_EQ(RunCommand("twolame -d -b 384 " + Quote(wav44) + " " + Quote(mp2_44)).exitCode, 0);
    auto bytes = good;
    const auto other = ReadBytes(mp2_44);
    bytes.insert(bytes.end(), other.begin(), other.end());
    const std::string path = Write("mixed.mp2", bytes);
    std::string report;
    EXPECT_EQ(Check(path, &report), 1);
    EXPECT_NE(report.find("frame " + std::to_string(frames + 1) +
                          ": sampling rate or channel mode changes within the stream"),
              std::string::npos)
        << report;
    std::string messages;
    EXPECT_EQ(DecodedFrames(path, 1, &messages), frames);
    EXPECT_NE(messages.find("sampling rate changes; frame skipped"), std::string::npos);
}

TEST_F(BadInput, DecodedFilesAreReadByFfprobe) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe missing";
    for (const bool stereo : {false, true}) {
        const std::string out = dir.File(stereo ? "pair.wav" : "six.wav");
        std::vector<std::string> args = {dir.File("good.mp2"), out};
        if (stereo) args.push_back("--stereo");
        std::string messages;
        ASSERT_EQ(Decode(args, &messages), 0) << messages;
        const auto probe = RunCommand(
            "ffprobe -v error -show_entries stream=codec_name,channels,sample_rate,duration_ts "
            "-of default=noprint_wrappers=1 " +
            Quote(out));
        ASSERT_EQ(probe.exitCode, 0) << probe.output;
        EXPECT_NE(probe.output.find("codec_name=pcm_s16le"), std::string::npos) << probe.output;
        EXPECT_NE(probe.output.find("sample_rate=48000"), std::string::npos) << probe.output;
        // A stereo stream is written as its pair, asked for or not.
        EXPECT_NE(probe.output.find("channels=2"), std::string::npos) << probe.output;
        EXPECT_NE(probe.output.find("duration_ts=" + std::to_string(frames * kFrameSamples)),
                  std::string::npos)
            << probe.output;
    }
}

TEST(Padding, DriftFromTheNominalBitrateIsAWarning) {
    if (!HaveProgram("twolame") || !HaveProgram("sox")) GTEST_SKIP() << "twolame or sox missing";
    TempDir dir;
    const std::string wav = dir.File("in.wav");
    ASSERT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 " + Quote(wav) + " synth 1 sine 440").exitCode,
              0);
    for (const char* padding : {"", "-d "}) {
        const std::string mp2 = dir.File(std::string("p") + padding + ".mp2");
        ASSERT_EQ(RunCommand(std::string("twolame ") + padding + "-b 256 " + Quote(wav) + " " +
                             Quote(mp2))
                      .exitCode,
                  0);
        std::string report;
        EXPECT_EQ(Check(mp2, &report), 0) << report;
        const bool warned =
            report.find("warning: padding does not keep the nominal bitrate") != std::string::npos;
        EXPECT_EQ(warned, *padding == '\0') << report;
    }
}

TEST(BadExtension, WrongMultichannelCrcIsFoundAndTheOtherFramesDecode) {
    TestFrame frame;
    frame.codes = {{{40, 10, -1}, {31, -1, 2}, {5, 50, 62}, {-1, 33, 0}, {12, 13, 14}}};
    std::vector<uint8_t> stream;
    for (int i = 0; i < 6; ++i) {
        frame.breakMcCrc = i == 3;
        const auto bytes = WriteTestFrame(frame);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    TempDir dir;
    const std::string path = dir.File("mc.mp2");
    WriteBytes(path, stream);
    std::string report;
    EXPECT_EQ(Check(path, &report), 1);
    EXPECT_NE(report.find("frame 4: multichannel CRC mismatch"), std::string::npos) << report;
    EXPECT_NE(report.find("6 frame(s), 6 with multichannel extension, 1 damaged"),
              std::string::npos)
        << report;
    std::string messages;
    EXPECT_EQ(Decode({path, dir.File("mc.wav")}, &messages), 1);
    EXPECT_NE(messages.find("Decoded 6 frame(s)"), std::string::npos) << messages;
    EXPECT_NE(messages.find("1 frame(s) from the compatible pair alone"), std::string::npos)
        << messages;
    const auto wav = ReadWav(dir.File("mc.wav"));
    EXPECT_EQ(wav.channels, 6);
    EXPECT_EQ(wav.Frames(), 6 * kFrameSamples);
}

}  // namespace
}  // namespace tavrisk::mp2dec::test
