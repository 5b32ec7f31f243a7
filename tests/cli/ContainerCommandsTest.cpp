// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/Mp2Commands.h"
#include "tests/mp2dec/TestFrameWriter.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::Ffmpeg;
using test::Quote;
using test::TempDir;

constexpr int kFrames = 40;
constexpr int kRate = 48000;

struct ContainerCase {
    const char* what;
    const char* file;
    std::string (*make)(const std::string& ours, const std::string& out);
    std::vector<std::string> extra;  // options of check and decode
    const char* checked;             // in check's summary line
    double startSeconds;             // where the decoded samples begin
};

std::string Remux(const std::string& ours, const std::string& out) {
    return "-i " + Quote(ours) + " -c copy " + Quote(out);
}
std::string AfterVideo(const std::string& ours, const std::string& out) {
    return "-f lavfi -i testsrc=d=2:s=160x120:r=25 -itsoffset 0.5 -i " + Quote(ours) +
           " -map 0:v -map 1:a -c:v mpeg2video -c:a copy " + Quote(out);
}
std::string StereoFirst(const std::string& ours, const std::string& out) {
    return "-f lavfi -i sine=440:d=1 -i " + Quote(ours) +
           " -map 0:a -map 1:a -c:a:0 mp2 -b:a:0 128k -c:a:1 copy " + Quote(out);
}

// kFrames hand-made six-channel frames in a file of `dir`.
std::string OurStream(const TempDir& dir, const mp2dec::test::TestFrame& made = {},
                      const std::string& name = "ours.mp2") {
    const auto frame = mp2dec::test::WriteTestFrame(made);
    std::vector<uint8_t> stream;
    for (int i = 0; i < kFrames; ++i) stream.insert(stream.end(), frame.begin(), frame.end());
    const std::string ours = dir.File(name);
    test::WriteBytes(ours, stream);
    return ours;
}

TEST(ContainerCommands, TheMultichannelStreamOfEachContainerIsCheckedAndDecodedInPlace) {
    ASSERT_TRUE(test::HaveProgram("ffmpeg"));
    TempDir dir;
    const std::string ours = OurStream(dir);

    const ContainerCase cases[] = {
        {"Matroska", "a.mkv", Remux, {}, "stream 0: 40 frame(s), 40 with multichannel", 0.0},
        {"MP4", "a.mp4", Remux, {}, "stream 0: 40 frame(s), 40 with multichannel", 0.0},
        {"transport stream after video", "a.ts", AfterVideo, {}, "stream 1: 40 frame(s), 40 with",
         0.5},
        {"program stream after video", "a.vob", AfterVideo, {}, "stream 1: 40 frame(s), 40 with",
         0.5},
        // The encoded stereo stream starts at 0, ours 11 ms later (Matroska's milliseconds).
        {"stereo stream first", "b.mkv", StereoFirst, {}, "stream 1: 40 frame(s), 40 with", 0.011},
        {"stereo stream asked for", "b.mkv", StereoFirst, {"--stream", "0"},
         "frame(s), 0 with multichannel", 0.0},
    };
    for (const ContainerCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string container = dir.File(c.file);
        ASSERT_TRUE(Ffmpeg(c.make(ours, container)));
        std::vector<std::string> args = {container};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        std::ostringstream out, err;
        EXPECT_EQ(RunCheckCommand(args, out, err, false), 0) << out.str() << err.str();
        EXPECT_NE(out.str().find(c.checked), std::string::npos) << out.str();

        const std::string wav = dir.File("out.wav");
        args.insert(args.begin() + 1, wav);
        args.push_back("--yes");
        EXPECT_EQ(RunDecodeCommand(args, out, err, false), 0) << err.str();
        const test::PcmAudio decoded = test::ReadWav(wav);
        if (c.extra.empty()) {
            EXPECT_EQ(decoded.channels, 6);
            const auto lead = static_cast<std::size_t>(c.startSeconds * kRate);
            EXPECT_NEAR(static_cast<double>(decoded.Frames()), lead + kFrames * 1152.0, 2.0);
            EXPECT_EQ(decoded.At(lead > 0 ? lead - 2 : 0, 0), 0) << "silence before the start";
        }
    }
}

TEST(ContainerCommands, InfoListsEveryStreamAndAContainerWithoutMpegAudioIsRefused) {
    ASSERT_TRUE(test::HaveProgram("ffmpeg"));
    TempDir dir;
    const std::string ours = OurStream(dir);
    const std::string two = dir.File("two.mkv");
    ASSERT_TRUE(Ffmpeg(StereoFirst(ours, two)));
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand({two}, out, err), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("stream 0:\n  configuration 1/0, LFE no, 44100 Hz"), std::string::npos)
        << text;
    EXPECT_NE(text.find("stream 1:\n  configuration 3/2, LFE yes, 48000 Hz\n  bitrate 384 kbit/s"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("40 frame(s), 40 with multichannel extension, 0 damaged"),
              std::string::npos);

    const std::string flac = dir.File("flac.mkv");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=440:d=1 -c:a flac " + Quote(flac)));
    for (auto* run : {+[](const std::string&f, std::ostream&o, std::ostream&e) {
                          return RunCheckCommand({f}, o, e, false);
                      },
                      +[](const std::string&f, std::ostream&o, std::ostream&e) {
                          return RunInfoCommand({f}, o, e);
                      },
                      +[](const std::string&f, std::ostream&o, std::ostream&e) {
                          return RunDecodeCommand({f, f + ".wav"}, o, e, false);
                      }}) {
        std::ostringstream refusedOut, refusedErr;
        EXPECT_EQ(run(flac, refusedOut, refusedErr), 2);
        EXPECT_EQ(refusedErr.str(), flac + " holds no MPEG audio stream\n");
        EXPECT_FALSE(std::filesystem::exists(flac + ".wav"));
    }
}

// FFmpeg and the many libraries it depends on are loaded only for an input that needs them:
// bare Layer II frames and a WAV are read without, an AC-3 with its decoders alone, a
// container with its containers too.
TEST(ContainerCommands, OnlyWhatAnInputNeedsOfFfmpegIsLoaded) {
    ASSERT_TRUE(test::HaveProgram("ffmpeg"));
    TempDir dir;
    const std::string ours = OurStream(dir);
    // 112 kbit/s frames whose data continues in extension frames.
    const std::string split =
        OurStream(dir, {.bitrateIndex = 7, .extensionFrameBytes = 700}, "split.mp2");
    const std::string mkv = dir.File("a.mkv");
    ASSERT_TRUE(Ffmpeg(Remux(ours, mkv)));
    const std::string ac3 = dir.File("a.ac3");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=440:d=1 -ac 6 -c:a ac3 " + Quote(ac3)));
    const std::string wav = dir.File("six.wav");
    test::WritePlainWav(wav, test::MakeTones({{200, 300, 400, 500, 600, 70}}, kRate, 4 * 1152));
    const struct {
        std::string arguments;
        bool decoders;
        bool containers;
    } cases[] = {
        {"--version", false, false},
        {"check " + Quote(ours), false, false},
        {"check " + Quote(split), false, false},
        {"decode " + Quote(ours) + " " + Quote(dir.File("a.wav")) + " --yes", false, false},
        {Quote(wav) + " " + Quote(dir.File("b.mp2")) + " --engine mp2 --yes", false, false},
        {Quote(ac3) + " " + Quote(dir.File("c.wav")) + " --engine wav --yes", true, false},
        {"check " + Quote(mkv), true, true},
    };
    for (const auto& c : cases) {
        const test::CommandResult run = test::RunCli(c.arguments, "LD_DEBUG=files");
        EXPECT_EQ(run.exitCode, 0) << c.arguments;
        EXPECT_EQ(run.output.find("file=libavcodec.so") != std::string::npos, c.decoders)
            << c.arguments;
        EXPECT_EQ(run.output.find("file=libavformat.so") != std::string::npos, c.containers)
            << c.arguments;
    }
}

// A stream from a pipe is read once, whole: none of it is taken to look for a container.
TEST(ContainerCommands, AStreamFromAPipeIsDecodedWhole) {
    TempDir dir;
    const std::string ours = OurStream(dir);
    const std::string wav = dir.File("piped.wav");
    const test::CommandResult run =
        test::RunCommand("cat " + Quote(ours) + " | " + Quote(test::BinPath("tavrisk-cli")) +
                         " decode /dev/stdin " + Quote(wav) + " --yes 2>&1");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(test::ReadWav(wav).Frames(), kFrames * 1152u) << run.output;
}

}  // namespace
}  // namespace tavrisk
