// A film in a container given to the native AC-3 reader is refused by its leading bytes before
// anything is written; a raw stream is read, with junk before its first frame or not.
#include <gtest/gtest.h>

#include <filesystem>

#include "sources/ContainerSignature.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

TEST(NativeContainerTest, ContainersAreRefusedOnceWithNothingWrittenAndRawStreamsRead) {
    if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the inputs";
    TempDir dir;
    const std::string ac3 = dir.File("film.ac3");
    ASSERT_TRUE(MakeAc3(ac3, {.seconds = 2.0}));
    const struct {
        const char* name;
        const char* ffmpegOutput;  // the file is written after these
        const char* says;          // nullptr: a raw stream
    } inputs[] = {
        {"film.vob", "-c copy -f vob", "an MPEG program stream"},
        {"film.ts", "-c copy -f mpegts", "an MPEG transport stream"},
        {"film.m2ts", "-c copy -f mpegts -mpegts_m2ts_mode 1", "an MPEG transport stream"},
        {"film.mkv", "-c copy -f matroska", "a Matroska file"},
        {"film.webm", "-ac 2 -c:a libopus -f webm", "a WebM file"},
        {"film.mp4", "-c copy -f mp4", "an MP4 file"},
        {"film.mov", "-c copy -f mov", "a QuickTime file"},
        {"film.ogg", "-c:a flac -f ogg", "an Ogg file"},
        {"film.flac", "-c:a flac -f flac", "a FLAC file"},
        {"wav.ac3", "-c:a pcm_s16le -f wav", "a WAV file"},
        {"avi.ac3", "-c copy -f avi", "an AVI file"},
        {"copy.ac3", "-c copy -f ac3", nullptr},
        {"junk.ac3", "-c copy -f ac3 - | (yes junk | head -c 4000; cat) >", nullptr},
    };
    for (const auto& input : inputs) {
        const std::string path = dir.File(input.name), output = path + ".wav";
        ASSERT_EQ(RunCommand("ffmpeg -v error -y -i " + Quote(ac3) + " " + input.ffmpegOutput +
                             " " + Quote(path))
                      .exitCode,
                  0);
        EXPECT_EQ(ContainerOfFile(path).value_or("none"), input.says ? input.says : "none");
        const CommandResult run =
            RunCommand("(" + Quote(BinPath("tavrisk-cli")) + " --yes --engine wav " + Quote(path) +
                       " " + Quote(output) + " >/dev/null)");
        if (!input.says) {
            EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 3) << run.output;
            EXPECT_GE(ReadWav(output).Frames(), 2u * 48000u) << input.name;
            continue;
        }
        EXPECT_EQ(run.exitCode, 2) << run.output;
        const std::string says = "'" + path + "' is " + input.says +
                                 ": choose GStreamer processing (or --graph) to read it";
        EXPECT_NE(run.output.find(says), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find(says), run.output.rfind(says)) << "said twice";
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

}  // namespace
}  // namespace tavrisk::test
