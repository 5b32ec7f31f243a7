#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr int kRate = 48000;
constexpr std::size_t kBlock = 1152;
constexpr double kBurstLevel = 2000.0;  // well above codec noise, well below the burst

// Graph jobs keep the film's clock: late starts, gaps, damage and cut files, measured in the
// output against the film.
class GraphClockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the inputs";
    }
    static bool Ffmpeg(const std::string& arguments) {
        return RunCommand("ffmpeg -v error -y " + arguments + " 2>&1").exitCode == 0;
    }
    // Six channels of silence until `burstAt` seconds, then a 400 Hz tone, as AC-3.
    std::string BurstAudio(const std::string& name, double seconds, double burstAt,
                           const std::string& filter = "") {
        const std::string tone =
            "if(gte(t\\," + std::to_string(burstAt) + ")\\,0.4*sin(2*PI*400*t)\\,0)";
        std::string exprs = tone;
        for (int k = 1; k < 6; ++k) exprs += "|" + tone;
        const std::string path = dir.File(name);
        EXPECT_TRUE(Ffmpeg(
            "-f lavfi -i " +
            Quote("aevalsrc=exprs=" + exprs + ":c=5.1(side):s=48000:d=" + std::to_string(seconds)) +
            filter + " -c:a ac3 -b:a 448k " + Quote(path)))
            << name;
        return path;
    }
    std::string Picture(const std::string& name, double seconds) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=176x144:rate=25:d=" + std::to_string(seconds) +
                           " -c:v mpeg2video " + Quote(path)));
        return path;
    }
    CommandResult Transcode(const std::string& input, const std::string& output,
                            const std::string& options = "") {
        return RunCommand("(" + Quote(BinPath("tavrisk-cli")) + " --graph --yes --engine wav " +
                          options + " " + Quote(input) + " " + Quote(output) + " >/dev/null)");
    }
    // The first frame whose left channel carries the burst.
    static std::size_t Onset(const PcmAudio& audio) {
        for (std::size_t i = 0; i < audio.Frames(); ++i)
            if (std::abs(audio.At(i, 0)) > kBurstLevel) return i;
        return audio.Frames();
    }
    static int Occurrences(const std::string& text, const std::string& part) {
        int count = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++count;
        return count;
    }

    TempDir dir;
};

// Audio that starts after the picture, and a clean gap in the audio's timestamps: the burst
// comes out at its time in the film, within one frame.
TEST_F(GraphClockTest, LateStartsAndGapsKeepTheBurstAtItsTimeInTheFilm) {
    const std::string late2 = BurstAudio("late2.ac3", 6.0, 1.0);
    const struct {
        const char* name;
        double offset;  // of the audio after the picture's start
        const char* options;
        double burstAt;  // in the film
        int exitCode;
        const char* says;
    } cases[] = {
        {"late.mkv", 2.0, "", 3.0, 0, "2.000 s of silence before the first audio"},
        {"late.vob", 2.0, "", 3.0, 0, "2.000 s of silence before the first audio"},
        {"late.ts", 2.0, "", 3.0, 0, "2.000 s of silence before the first audio"},
        {"late.mp4", 2.0, "", 3.0, 0, "2.000 s of silence before the first audio"},
        {"slightly-late.vob", 0.3, "", 1.3, 0, "0.300 s of silence before the first audio"},
        {"late-normalised.mkv", 2.0, "--normalize", 3.0, 0, "2.000 s of silence"},
    };
    for (const auto& c : cases) {
        const std::string film = dir.File(c.name);
        const std::string picture = Picture(std::string(c.name) + ".video.mkv", c.offset + 6.0);
        const std::string format = std::string(c.name).ends_with(".vob") ? " -f vob" : "";
        ASSERT_TRUE(Ffmpeg("-i " + Quote(picture) + " -itsoffset " + std::to_string(c.offset) +
                           " -i " + Quote(late2) + " -map 0:v -map 1:a -c copy" + format + " " +
                           Quote(film)))
            << c.name;
        const std::string output = film + ".wav";
        const CommandResult run = Transcode(film, output, c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << run.output;
        EXPECT_EQ(Occurrences(run.output, c.says), 1) << c.name << ": " << run.output;
        const double onset = static_cast<double>(Onset(ReadWav(output)));
        EXPECT_NEAR(onset, c.burstAt * kRate, kBlock) << c.name;
    }

    // 4 s to 7 s cut out of the audio, timestamps kept: the burst at 9 s stays at 9 s.
    const std::string gap =
        BurstAudio("gap.mkv", 10.0, 9.0, " -af \"aselect='not(between(t,4,7))'\"");
    const CommandResult run = Transcode(gap, gap + ".wav");
    EXPECT_EQ(run.exitCode, 3) << run.output;
    EXPECT_EQ(Occurrences(run.output, " gap at 00:00:04.0 filled with silence"), 1) << run.output;
    EXPECT_NEAR(static_cast<double>(Onset(ReadWav(gap + ".wav"))), 9.0 * kRate, kBlock);
}

// Damaged and cut films: the output keeps the undamaged film's length within one frame, or
// says where the input ended; the job completes with warnings, told once.
TEST_F(GraphClockTest, DamagedAndCutFilmsKeepTheirLengthOrSayWhereTheyEnded) {
    const std::string sound = BurstAudio("sound.ac3", 8.0, 0.0);
    const std::string picture = Picture("picture.mkv", 8.0);
    enum class Harm { kXor, kZero, kCutOut, kTruncate };
    const struct {
        const char* name;
        const char* format;
        Harm harm;
        bool cutShort;  // the report must say where the input ended
    } cases[] = {
        {"damaged.vob", "vob", Harm::kXor, false},
        {"hole.mp4", "mp4", Harm::kZero, false},
        {"cut-cluster.mkv", "matroska", Harm::kCutOut, false},
        {"truncated.mkv", "matroska", Harm::kTruncate, true},
    };
    for (const auto& c : cases) {
        const std::string film = dir.File(std::string("whole-") + c.name);
        ASSERT_TRUE(Ffmpeg("-i " + Quote(picture) + " -i " + Quote(sound) +
                           " -map 0:v -map 1:a -c copy -f " + c.format + " " + Quote(film)));
        std::vector<uint8_t> bytes = ReadBytes(film);
        const std::size_t middle = bytes.size() / 2;
        switch (c.harm) {
            case Harm::kXor:
                for (std::size_t at : {bytes.size() * 2 / 5, bytes.size() * 3 / 5})
                    for (std::size_t i = at; i < at + 40000; ++i) bytes[i] ^= 0x5A;
                break;
            case Harm::kZero:
                std::fill(bytes.begin() + middle, bytes.begin() + middle + 60000, 0);
                break;
            case Harm::kCutOut:
                bytes.erase(bytes.begin() + middle, bytes.begin() + middle + 60000);
                break;
            case Harm::kTruncate:
                bytes.resize(bytes.size() * 57 / 100);
                break;
        }
        const std::string harmed = dir.File(c.name);
        WriteBytes(harmed, bytes);

        ASSERT_EQ(Transcode(film, film + ".wav").exitCode, 0) << c.name;
        const CommandResult run = Transcode(harmed, harmed + ".wav");
        EXPECT_EQ(run.exitCode, 3) << c.name << ": " << run.output;
        EXPECT_EQ(Occurrences(run.output, "was read to its end"), 1) << c.name << run.output;
        const double whole = static_cast<double>(ReadWav(film + ".wav").Frames());
        const double kept = static_cast<double>(ReadWav(harmed + ".wav").Frames());
        const bool saysEnd = Occurrences(run.output, "input ended at ") == 1;
        EXPECT_TRUE(saysEnd || !c.cutShort) << c.name << ": " << run.output;
        if (saysEnd) {
            EXPECT_NE(run.output.find(" of 0:08.0"), std::string::npos) << run.output;
        } else {
            EXPECT_NEAR(kept, whole, kBlock) << c.name << ": " << run.output;
        }
    }
}

// AAC in MP4 ends where the container says, not one codec frame early. 4.010 s is 167 blocks
// and 96 frames: the last packet lost would leave 167 blocks, the stated length needs 168.
TEST_F(GraphClockTest, AacInMp4KeepsItsStatedLength) {
    constexpr std::size_t kStated = 192480;
    const std::string film = dir.File("aac.mp4");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i " + Quote("sine=f=400:r=48000:d=5") + " -af " +
                       Quote("atrim=end_sample=" + std::to_string(kStated) +
                             ",pan=5.1(side)|FL=c0|FR=c0|FC=c0|LFE=c0|SL=c0|SR=c0") +
                       " -c:a aac -b:a 384k " + Quote(film)));
    const CommandResult run = Transcode(film, film + ".wav");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadWav(film + ".wav").Frames(), (kStated + kBlock - 1) / kBlock * kBlock);
}

}  // namespace
}  // namespace tavrisk::test
