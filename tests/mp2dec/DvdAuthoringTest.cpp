// SPDX-License-Identifier: GPL-3.0-or-later
// Our stream through the DVD authoring chain: multiplexed with an MPEG-2 video for DVD
// (mplex), authored (dvdauthor), then taken back out of the VOB's audio packets. The
// stream must come out byte for byte and decode to six channels.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tests/mp2dec/DecoderTestSupport.h"

namespace tavrisk::mp2dec::test {
namespace {

using tavrisk::test::BinPath;
using tavrisk::test::CommandResult;
using tavrisk::test::HaveProgram;
using tavrisk::test::Quote;
using tavrisk::test::RunCommand;
using tavrisk::test::TempDir;

constexpr int kRate = 48000;
constexpr std::size_t kSeconds = 4;
constexpr std::uint8_t kPackStart = 0xBA;
constexpr std::uint8_t kProgramEnd = 0xB9;
constexpr std::uint8_t kFirstAudioStream = 0xC0;
constexpr std::size_t kPackHeaderBytes = 14;  // before the pack's stuffing
constexpr std::size_t kPesHeaderBytes = 9;    // before the optional header fields

// The payload of the program stream's first MPEG audio stream, in order. Empty when the
// bytes are not a program stream of whole packs and packets.
std::vector<std::uint8_t> FirstAudioStream(const std::vector<std::uint8_t>& ps) {
    std::vector<std::uint8_t> audio;
    std::size_t i = 0;
    while (i + 4 <= ps.size()) {
        if (ps[i] != 0 || ps[i + 1] != 0 || ps[i + 2] != 1) return {};
        const std::uint8_t id = ps[i + 3];
        if (id == kProgramEnd) {
            i += 4;
            continue;
        }
        if (id == kPackStart) {
            if (i + kPackHeaderBytes > ps.size()) return {};
            i += kPackHeaderBytes + (ps[i + kPackHeaderBytes - 1] & 7);
            continue;
        }
        if (i + 6 > ps.size()) return {};
        const std::size_t end = i + 6 + (std::size_t{ps[i + 4]} << 8 | ps[i + 5]);
        if (end > ps.size()) return {};
        if (id == kFirstAudioStream) {
            const std::size_t payload = i + kPesHeaderBytes + ps[i + 8];
            if (payload > end) return {};
            audio.insert(audio.end(), ps.begin() + static_cast<long>(payload),
                         ps.begin() + static_cast<long>(end));
        }
        i = end;
    }
    return i == ps.size() ? audio : std::vector<std::uint8_t>{};
}

CommandResult Shell(const std::string& command) {
    // Started from a std::string: a literal + string temporary trips a false -Wrestrict.
    std::string line = "(";
    line += command + ") 2>&1";
    return RunCommand(line);
}

TEST(DvdAuthoring, StreamComesBackOutOfTheVobUnchangedAndDecodesToSixChannels) {
    for (const char* tool : {"ffmpeg", "mplex", "dvdauthor"}) {
        if (!HaveProgram(tool)) GTEST_SKIP() << tool << " missing";
    }
    TempDir dir;
    // File order L, C, R, LS, RS, LFE (the decoder's order too); the LFE tone is low.
    const std::vector<double> tones = {500.0, 800.0, 1250.0, 1900.0, 3100.0, 60.0};
    const std::string wav = dir.File("in.wav");
    const std::string mp2 = dir.File("sound.mp2");
    tavrisk::test::WritePlainWav(
        wav, tavrisk::test::MakeTones({tones, 8000.0}, kRate, kSeconds * kRate));
    CommandResult run = Shell(Quote(BinPath("tavrisk-cli")) + " " + Quote(wav) + " " + Quote(mp2) +
                              " --yes >/dev/null");
    ASSERT_EQ(run.exitCode, 0) << run.output;

    const std::string video = dir.File("video.m2v");
    run = Shell("ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -t " +
                std::to_string(kSeconds) + " -c:v mpeg2video -f mpeg2video " + Quote(video));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string mpg = dir.File("movie.mpg");
    run = Shell("mplex -v 0 -f 8 -o " + Quote(mpg) + " " + Quote(video) + " " + Quote(mp2));
    ASSERT_EQ(run.exitCode, 0) << run.output;

    const std::string xml = dir.File("dvd.xml");
    std::ofstream(xml) << "<dvdauthor dest=\"" << dir.File("dvd") << "\">\n"
                       << "  <vmgm />\n  <titleset>\n    <titles>\n"
                       << "      <video format=\"pal\" aspect=\"4:3\" />\n"
                       << "      <audio format=\"mp2\" channels=\"6\" />\n"
                       << "      <pgc><vob file=\"" << mpg << "\" /></pgc>\n"
                       << "    </titles>\n  </titleset>\n</dvdauthor>\n";
    run = Shell("VIDEO_FORMAT=PAL dvdauthor -x " + Quote(xml));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("mp2/6ch"), std::string::npos) << run.output;

    const auto vob = tavrisk::test::ReadBytes(dir.File("dvd/VIDEO_TS/VTS_01_1.VOB"));
    const auto stream = tavrisk::test::ReadBytes(mp2);
    const auto extracted = FirstAudioStream(vob);
    ASSERT_FALSE(extracted.empty()) << "no audio packets in a whole program stream";
    EXPECT_EQ(extracted.size(), stream.size());
    EXPECT_TRUE(extracted == stream) << "the VOB's audio differs from the stream";

    const std::string back = dir.File("back.mp2");
    tavrisk::test::WriteBytes(back, extracted);
    std::string messages;
    ASSERT_EQ(Decode({back, dir.File("back.wav")}, &messages), 0) << messages;
    const auto decoded = tavrisk::test::ReadWav(dir.File("back.wav"));
    ASSERT_EQ(decoded.channels, 6);
    EXPECT_GE(decoded.Frames(), kSeconds * kRate);
    for (int ch = 0; ch < 6; ++ch) {
        const double level = tavrisk::test::ToneAmplitude(decoded.Channel(ch), tones[ch], kRate);
        EXPECT_NEAR(level, 8000.0, 1000.0) << "channel " << ch;
    }
    std::printf("DVD chain: %zu bytes of audio back out of the VOB, identical: %s\n",
                extracted.size(), extracted == stream ? "yes" : "no");
}

}  // namespace
}  // namespace tavrisk::mp2dec::test
