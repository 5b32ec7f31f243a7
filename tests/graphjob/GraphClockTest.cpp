#include <gtest/gtest.h>

#include <string>

#include "tests/graphjob/FilmInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr int kRate = 48000;
constexpr std::size_t kBlock = 1152;

// Graph jobs keep the film's clock, measured in the output against the film. Inputs: six
// channels of silence, then a 400 Hz burst, as AC-3; a picture made by ffmpeg.
class GraphClockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the inputs";
    }
    std::string Make(const std::string& name, const std::string& arguments) {
        EXPECT_TRUE(Ffmpeg(arguments + " " + Quote(dir.File(name)))) << name;
        return dir.File(name);
    }
    std::string Burst(const std::string& name, double seconds, double at,
                      const std::string& filter = "") {
        const std::string tone = "if(gte(t\\," + std::to_string(at) + ")\\,0.4*sin(2*PI*400*t))";
        return Make(name, "-f lavfi -i " +
                              Quote("aevalsrc=" + tone +
                                    ":c=5.1(side):s=48000:d=" + std::to_string(seconds)) +
                              filter + " -c:a ac3 -b:a 448k");
    }
    // A film of the picture and the sound, the sound `offset` seconds late.
    std::string Film(const std::string& name, const std::string& sound, double offset,
                     double seconds, const char* format) {
        const std::string picture = Make(
            name + ".picture.mkv",
            "-f lavfi -i testsrc=size=176x144:d=" + std::to_string(seconds) + " -c:v mpeg2video");
        return Make(name, "-i " + Quote(picture) + " -itsoffset " + std::to_string(offset) +
                              " -i " + Quote(sound) + " -map 0:v -map 1:a -c copy -f " + format);
    }
    // --graph to a six-channel WAV beside the input.
    static CommandResult Transcode(const std::string& input, const std::string& options = "") {
        return RunCli("--graph --yes --engine wav " + options + " " + Quote(input) + " " +
                      Quote(input + ".wav"));
    }
    static std::size_t Onset(const PcmAudio& audio) {
        std::size_t i = 0;
        while (i < audio.Frames() && std::abs(audio.At(i, 0)) < 2000) ++i;
        return i;
    }

    TempDir dir;
};

// Audio that starts after the picture, and a clean gap in its timestamps: the burst comes
// out at its time in the film, within one frame; each fill is told once.
TEST_F(GraphClockTest, LateStartsAndGapsKeepTheBurstAtItsTimeInTheFilm) {
    const std::string sound = Burst("sound.ac3", 6.0, 1.0);
    const struct {
        std::string input;
        const char* options;
        double burstAt;  // in the film
        int exitCode;
        const char* says;
    } cases[] = {
        {Film("late.mkv", sound, 2.0, 8.0, "matroska"), "", 3.0, 0, "2.000 s of silence"},
        {Film("late.vob", sound, 2.0, 8.0, "vob"), "", 3.0, 0, "2.000 s of silence"},
        {Film("late.ts", sound, 2.0, 8.0, "mpegts"), "", 3.0, 0, "2.000 s of silence"},
        {Film("late.mp4", sound, 2.0, 8.0, "mp4"), "", 3.0, 0, "2.000 s of silence"},
        {Film("late.mkv", sound, 2.0, 8.0, "matroska"), "--normalize", 3.0, 0, "2.000 s"},
        {Film("a-little-late.vob", sound, 0.3, 6.3, "vob"), "", 1.3, 0,
         "0.300 s of silence before the first audio"},
        // 4 s to 7 s cut out, timestamps kept: the burst at 9 s stays at 9 s.
        {Burst("gap.mkv", 10.0, 9.0, " -af \"aselect='not(between(t,4,7))'\""), "", 9.0, 3,
         " gap at 00:00:04.0 filled with silence"},
    };
    for (const auto& c : cases) {
        const CommandResult run = Transcode(c.input, c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_TRUE(Says(run, c.says, 1));
        EXPECT_NEAR(double(Onset(ReadWav(c.input + ".wav"))), c.burstAt * kRate, kBlock) << c.input;
    }
}

// Damaged and cut films: the undamaged film's length within one frame, or where the input
// ended is told; the job completes with warnings, told once.
TEST_F(GraphClockTest, DamagedAndCutFilmsKeepTheirLengthOrSayWhereTheyEnded) {
    const std::string sound = Burst("sound.ac3", 8.0, 0.0);
    const struct {
        const char* format;
        void (*harm)(std::vector<uint8_t>& bytes);
        bool cutShort;  // where the input ended must be told
    } cases[] = {
        {"vob",
         [](std::vector<uint8_t>& b) {
             for (std::size_t at : {b.size() * 2 / 5, b.size() * 3 / 5})
                 for (std::size_t i = at; i < at + 40000; ++i) b[i] ^= 0x5A;
         },
         false},
        {"mp4", [](std::vector<uint8_t>& b) { std::fill_n(b.begin() + b.size() / 2, 60000, 0); },
         false},
        {"matroska",
         [](std::vector<uint8_t>& b) {
             b.erase(b.begin() + b.size() / 2, b.begin() + b.size() / 2 + 60000);
         },
         false},
        {"matroska", [](std::vector<uint8_t>& b) { b.resize(b.size() * 57 / 100); }, true},
    };
    for (const auto& c : cases) {
        const std::string film = Film(std::string("film.") + c.format, sound, 0.0, 8.0, c.format);
        std::vector<uint8_t> bytes = ReadBytes(film);
        c.harm(bytes);
        const std::string harmed = film + ".harmed";
        WriteBytes(harmed, bytes);
        ASSERT_EQ(Transcode(film).exitCode, 0);
        const CommandResult run = Transcode(harmed);
        EXPECT_EQ(run.exitCode, 3) << run.output;
        EXPECT_TRUE(Says(run, "was read to its end", 1));
        if (Says(run, "input ended at ", 1)) {
            EXPECT_TRUE(Says(run, " of 0:08.0", 1));
        } else {
            EXPECT_FALSE(c.cutShort) << run.output;
            EXPECT_NEAR(double(ReadWav(harmed + ".wav").Frames()),
                        double(ReadWav(film + ".wav").Frames()), kBlock)
                << run.output;
        }
    }
}

// AAC in MP4 ends where the container says, not a codec frame early. 4.010 s is 167 blocks and
// 96 frames: the last packet lost would leave 167 blocks, the stated length needs 168.
TEST_F(GraphClockTest, AacInMp4KeepsItsStatedLength) {
    const std::string film = dir.File("aac.mp4");
    ASSERT_TRUE(MakeFilm(film, FilmKind::kMp4Aac, 4.01));
    ASSERT_EQ(Transcode(film).exitCode, 0);
    EXPECT_EQ(ReadWav(film + ".wav").Frames(), 168 * kBlock);
}

}  // namespace
}  // namespace tavrisk::test
