// The audio stream of a film the graph reads and its name; what an unreadable file is said to be.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/graphjob/FilmInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

// The stream flagged default is read (else the first) and named in the format its data came
// with (a late AC-3 in MP4 made the decoder guess "mono, 8000 Hz"). A file that cannot be read
// says once what it is, exit 2, nothing written; a stream without a decoder blames filters.
TEST(GraphInputChoiceTest, TheDefaultStreamIsReadAndUnreadableFilesSayWhatTheyAre) {
    if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the inputs";
    TempDir dir;
    const std::string tones = dir.File("tones.ac3");
    ASSERT_TRUE(MakeFilm(tones, FilmKind::kAc3, 2.0));
    // ffmpeg's inputs: 0 a silent 5.1, 1 the film's tones in AC-3, 2 a picture.
    auto make = [&](const std::string& name, const std::string& options) {
        EXPECT_TRUE(Ffmpeg("-f lavfi -i anullsrc=cl=5.1:r=48000:d=2 -i " + Quote(tones) +
                           " -f lavfi -i testsrc=d=1:s=64x48 " + options + " " +
                           Quote(dir.File(name))))
            << name;
        return dir.File(name);
    };
    std::vector<uint8_t> noise(65536);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * i * 7 + i);
    WriteBytes(dir.File("noise.vob"), noise);
    WriteBytes(dir.File("empty.mkv"), {});
    WriteBytes(dir.File("one.mkv"), {0x1A});
    const std::string cut = make("cut.mp4", "-map 1:a -c copy");  // its index at the end, cut off
    std::vector<uint8_t> bytes = ReadBytes(cut);
    bytes.resize(bytes.size() / 2);
    WriteBytes(cut, bytes);
    const std::string two = "-map 0:a -map 1:a -c:a ac3 -t 2 -disposition:a:";
    const std::string picture = "-map 2:v -c:v mpeg2video -f ";
    const char* unknown = "it is not a media file GStreamer recognises.";
    const struct {
        std::string input;
        int exitCode;
        const char* says;
        bool tones = false;  // the stream with the tones (not the silent one) is read
        const char* environment = "";
    } cases[] = {
        {make("2.mkv", two + "0 0 -disposition:a:1 default"), 0, "2 of 2 (the default): 5.1", true},
        {make("2.mp4", two + "0 0 -disposition:a:1 default"), 0, "2 of 2 (the default): 5.1", true},
        {make("1.mkv", two + "0 default -disposition:a:1 0"), 0, "1 of 2 (the default): 5.1"},
        {make("1.ts", "-map 0:a -map 1:a -c:a ac3 -t 2"), 0, "stream 1 of 2: 5.1, 48000 Hz"},
        {make("late.mp4", "-map 1:a -c copy -output_ts_offset 2"), 0, "1: 5.1, 48000 Hz", true},
        {dir.File("empty.mkv"), 2, unknown},
        {dir.File("one.mkv"), 2, unknown},
        {dir.File("noise.vob"), 2, unknown},
        {cut, 2, unknown},
        {make("picture.mkv", picture + "matroska"), 2, "it has no audio stream."},
        {make("picture.vob", picture + "vob"), 2, "it has no audio stream."},
        {make("mp2.mkv", "-map 1:a -c:a mp2 -ac 2"), 2, "Perhaps, some filters missing...", false,
         "GST_PLUGIN_FEATURE_RANK=mpg123audiodec:0,avdec_mp2float:0,avdec_mp3float:0,avdec_mp3:0"},
    };
    for (const auto& c : cases) {
        const std::string output = c.input + ".wav";
        const CommandResult run = RunCli(
            "--graph --yes --engine wav " + Quote(c.input) + " " + Quote(output), c.environment);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_TRUE(Says(run, c.says, 1));
        if (c.exitCode != 0) {
            EXPECT_TRUE(Says(run, c.input));
            EXPECT_FALSE(std::filesystem::exists(output));
            continue;
        }
        const double level = ToneAmplitude(ReadWav(output).Channel(0), kFilmTones[0], 48000);
        EXPECT_EQ(level > 1000.0, c.tones) << c.input;
    }
}

}  // namespace
}  // namespace tavrisk::test
