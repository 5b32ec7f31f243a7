// Films in containers given to the native AC-3 reader are refused by their leading bytes,
// before anything is written; a raw stream is read, with junk before its first frame or not.
#include <gtest/gtest.h>

#include <filesystem>

#include "sources/ContainerSignature.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

struct Wrapped {
    const char* name;
    const char* ffmpegOutput;  // ffmpeg's output options, the AC-3 stream being the input
    const char* says;          // nullptr: no container
};
const Wrapped kInputs[] = {
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
};

class NativeContainerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the inputs";
        ASSERT_TRUE(MakeAc3(ac3, {.seconds = 2.0}));
    }
    std::string Make(const Wrapped& input) {
        const std::string path = dir.File(input.name);
        EXPECT_EQ(RunCommand("ffmpeg -v error -y -i " + Quote(ac3) + " " + input.ffmpegOutput +
                             " " + Quote(path))
                      .exitCode,
                  0);
        return path;
    }
    // Native processing; the messages, without the frame trace.
    static CommandResult Native(const std::string& input, const std::string& output) {
        std::string command = "(" + Quote(BinPath("tavrisk-cli"));
        command += " --yes --engine wav " + Quote(input) + " " + Quote(output) + " >/dev/null)";
        return RunCommand(command);
    }

    TempDir dir;
    const std::string ac3 = dir.File("film.ac3");
};

TEST_F(NativeContainerTest, ContainersAreRefusedOnceWithNothingWrittenAndRawStreamsRead) {
    for (const Wrapped& input : kInputs) {
        const std::string path = Make(input);
        EXPECT_EQ(ContainerOfFile(path).value_or("none"), input.says ? input.says : "none");
        if (!input.says) continue;
        const CommandResult run = Native(path, path + ".wav");
        EXPECT_EQ(run.exitCode, 2) << run.output;
        const std::string says = "'" + path + "' is " + input.says +
                                 ": choose GStreamer processing (or --graph) to read it";
        EXPECT_NE(run.output.find(says), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find(says), run.output.rfind(says)) << "told twice";
        EXPECT_FALSE(std::filesystem::exists(path + ".wav"));
    }
    // 4000 bytes of junk before the first frame: the stream is still read.
    std::vector<uint8_t> bytes(4000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    const std::vector<uint8_t> stream = ReadBytes(ac3);
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    WriteBytes(dir.File("junk.ac3"), bytes);
    for (const std::string& input : {ac3, dir.File("junk.ac3")}) {
        const CommandResult run = Native(input, input + ".wav");
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 3) << run.output;
        EXPECT_GE(ReadWav(input + ".wav").Frames(), 2u * 48000u);
    }
    EXPECT_FALSE(ContainerOf(std::vector<uint8_t>{0x47}));
}

}  // namespace
}  // namespace tavrisk::test
