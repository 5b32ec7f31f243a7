#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/graphjob/FilmInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr int kRate = 48000;
constexpr double kSeconds = 2.0;

class GraphCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the inputs";
    }
    // tavrisk-cli --graph with the given options; messages on standard error are kept.
    CommandResult Transcode(const std::string& input, const std::string& output,
                            const std::string& options, const std::string& environment = "") {
        return RunCli("--graph --yes " + options + " " + Quote(input) + " " + Quote(output),
                      environment);
    }
    std::string Make(FilmKind kind, const std::string& name, double seconds = kSeconds,
                     int rate = kRate) {
        EXPECT_TRUE(MakeFilm(dir.File(name), kind, seconds, rate)) << name;
        return dir.File(name);
    }
    // Channel k of a six-channel WAV (L, C, R, LS, RS, LFE) carries tone k and little else.
    static void ExpectToneOfEachChannel(const PcmAudio& audio, const std::string& what) {
        ASSERT_EQ(audio.channels, 6) << what;
        for (int k = 0; k < 6; ++k) {
            const std::vector<double> signal = audio.Channel(k);
            const double own = ToneAmplitude(signal, kFilmTones[k], audio.rate);
            EXPECT_GT(own, 1000.0) << what << ": channel " << k;
            for (int other = 0; other < 6; ++other) {
                if (other == k) continue;
                EXPECT_LT(ToneAmplitude(signal, kFilmTones[other], audio.rate), own / 20.0)
                    << what << ": channel " << k << " carries the tone of " << other;
            }
        }
    }

    TempDir dir;
};

// Every kind of 5.1 soundtrack, through the graph, to WAV and to MP2: channel k of the
// result carries the tone of input channel k.
TEST_F(GraphCliTest, FilmSoundtracksOfEveryKindKeepTheirChannelsInWavAndMp2) {
    const FilmInput films[] = {{FilmKind::kVob, "film.vob"},     {FilmKind::kDts, "film.dts"},
                               {FilmKind::kMkvEac3, "film.mkv"}, {FilmKind::kMp4Aac, "film.mp4"},
                               {FilmKind::kFlac, "film.flac"},   {FilmKind::kWav, "film.wav"}};
    for (const FilmInput& film : films) {
        const std::string input = Make(film.kind, film.name);
        const std::string wav = dir.File(std::string(film.name) + ".out.wav");
        const CommandResult toWav = Transcode(input, wav, "--engine wav");
        ASSERT_EQ(toWav.exitCode, 0) << film.name << ": " << toWav.output;
        const PcmAudio audio = ReadWav(wav);
        EXPECT_EQ(audio.rate, kRate);
        // The whole stream, the last block padded: at least the input's length.
        EXPECT_GE(audio.Frames(), static_cast<std::size_t>(kSeconds * kRate) - 2048) << film.name;
        EXPECT_EQ(audio.Frames() % 1152, 0u);
        ExpectToneOfEachChannel(audio, std::string(film.name) + " to WAV");

        const std::string mp2 = dir.File(std::string(film.name) + ".mp2");
        const CommandResult toMp2 = Transcode(input, mp2, "--engine mp2");
        ASSERT_EQ(toMp2.exitCode, 0) << film.name << ": " << toMp2.output;
        const CommandResult check =
            RunCommand(Quote(BinPath("tavrisk-cli")) + " check " + Quote(mp2) + " 2>&1");
        EXPECT_EQ(check.exitCode, 0) << film.name << ": " << check.output;
        const std::string decoded = dir.File(std::string(film.name) + ".dec.wav");
        ASSERT_EQ(RunCommand(Quote(BinPath("tavrisk-cli")) + " decode " + Quote(mp2) + " " +
                             Quote(decoded) + " --yes 2>&1")
                      .exitCode,
                  0);
        ExpectToneOfEachChannel(ReadWav(decoded), std::string(film.name) + " to MP2");
        EXPECT_EQ(RunCommand("ffmpeg -v error -i " + Quote(mp2) + " -f null -").exitCode, 0);
    }
}

TEST_F(GraphCliTest, StereoAndSevenPointOneAreRefusedNamingTheirLayout) {
    const struct {
        FilmKind kind;
        const char* name;
        const char* says;
    } cases[] = {{FilmKind::kStereoMp3, "music.mp3", "its audio is stereo (2 channels)"},
                 {FilmKind::kFlac71, "film71.flac", "its audio is 7.1 (8 channels)"}};
    for (const auto& c : cases) {
        const std::string input = Make(c.kind, c.name);
        const std::string output = dir.File(std::string(c.name) + ".wav");
        const CommandResult run = Transcode(input, output, "--engine wav");
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(c.name), std::string::npos) << run.output;
        EXPECT_FALSE(std::filesystem::exists(output)) << "nothing is written for " << c.name;
    }
}

TEST_F(GraphCliTest, NormalisationRunsTheGraphTwiceAndRaisesTheLevel) {
    const std::string input = Make(FilmKind::kFlac, "film.flac");
    const std::string plain = dir.File("plain.wav"), loud = dir.File("loud.wav");
    ASSERT_EQ(Transcode(input, plain, "--engine wav").exitCode, 0);
    const CommandResult run = Transcode(input, loud, "--engine wav --normalize");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const PcmAudio a = ReadWav(plain), b = ReadWav(loud);
    ASSERT_EQ(a.Frames(), b.Frames());
    EXPECT_GT(Rms(b.Channel(0)), Rms(a.Channel(0)) * 1.5);
}

TEST_F(GraphCliTest, ResyncAndRateConversionApplyToTheGraphsAudio) {
    const std::string input = Make(FilmKind::kMkvEac3, "film.mkv");
    const std::string output = dir.File("resync.wav");
    const CommandResult run =
        Transcode(input, output, "--engine wav --rate 44100 --resync +0:0:1.000");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const PcmAudio audio = ReadWav(output);
    EXPECT_EQ(audio.rate, 44100);
    // One second of silence at the output rate, then the film converted to 44100 Hz.
    const std::size_t expected = 44100 + static_cast<std::size_t>(kSeconds * 44100);
    EXPECT_NEAR(static_cast<double>(audio.Frames()), static_cast<double>(expected), 2 * 1152.0);
    std::vector<double> left = audio.Channel(0);
    EXPECT_EQ(Rms({left.begin(), left.begin() + 44100}), 0.0);
    const std::vector<double> film(left.begin() + 44100, left.end());
    EXPECT_GT(ToneAmplitude(film, kFilmTones[0], 44100), 1000.0);
}

// The same AC-3 through the graph and natively: within 2 LSB with our own decoder (the default)
// and with avdec_ac3, both libavcodec; a little more with a52dec.
TEST_F(GraphCliTest, TheSameAc3ThroughTheGraphAndNativelyDiffersByAFewLsbAtMost) {
    const std::string input = Make(FilmKind::kAc3, "film.ac3");
    const std::string native = dir.File("native.wav");
    std::string command = Quote(BinPath("tavrisk-cli"));
    command += " --yes --engine wav " + Quote(input) + " " + Quote(native) + " >/dev/null 2>&1";
    ASSERT_EQ(RunCommand(command).exitCode, 0);
    const PcmAudio b = ReadWav(native);
    const struct {
        const char* decoder;
        const char* environment;
        int limit;
    } decoders[] = {{"tavriskac3dec", "", 2},
                    {"a52dec", "GST_PLUGIN_FEATURE_RANK=a52dec:MAX", 16},
                    {"avdec_ac3", "GST_PLUGIN_FEATURE_RANK=avdec_ac3:MAX", 2}};
    for (const auto& d : decoders) {
        const std::string graph = dir.File(std::string(d.decoder) + ".wav");
        const CommandResult run = Transcode(input, graph, "--engine wav", d.environment);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find(d.decoder), std::string::npos) << run.output;
        const PcmAudio a = ReadWav(graph);
        // The native reader adds a silent block after a stream of whole blocks; the graph
        // does not.
        ASSERT_LE(std::max(a.Frames(), b.Frames()) - std::min(a.Frames(), b.Frames()), 1152u);
        const std::size_t frames = std::min(a.Frames(), b.Frames());
        for (int k = 0; k < 6; ++k) {
            int worst = 0;
            for (std::size_t i = 0; i < frames; ++i)
                worst = std::max(worst, std::abs(a.At(i, k) - b.At(i, k)));
            EXPECT_LE(worst, d.limit) << d.decoder << ", channel " << k;
            std::printf("[ graph (%s) vs native ] channel %d: largest difference %d LSB\n",
                        d.decoder, k, worst);
        }
    }
}

// Soundtracks in MKV whose frames were damaged in three places (headers intact): each frame
// becomes silence, the film keeps its length, nothing is louder than the intact film, the
// summary counts the frames (exit 3), and the decoders' lines appear only with --verbose.
TEST_F(GraphCliTest, DamagedFramesAreSilencedCountedAndTheDecodersLinesKeptOffStandardError) {
    const struct {
        FilmKind kind;
        const char* raw;
        const char* extract;  // ffmpeg's arguments that give the raw stream of `raw`
        std::vector<uint8_t> sync;
    } cases[] = {{FilmKind::kAc3, "film.ac3", "", {0x0b, 0x77}},
                 {FilmKind::kDts, "film.dts", "", {0x7f, 0xfe, 0x80, 0x01}},
                 {FilmKind::kMkvEac3, "film.eac3", "-c copy -f eac3", {0x0b, 0x77}},
                 {FilmKind::kFlac, "film.flac", "", {0xff, 0xf8}}};
    for (const auto& c : cases) {
        std::string raw = Make(c.kind, c.raw);
        if (std::strlen(c.extract) > 0) {
            const std::string extracted = dir.File(std::string("x-") + c.raw);
            ASSERT_TRUE(Ffmpeg("-i " + Quote(raw) + " " + c.extract + " " + Quote(extracted)));
            raw = extracted;
        }
        const std::string spoilt = dir.File(std::string("spoilt-") + c.raw);
        ASSERT_TRUE(DamageFrames(raw, spoilt, c.sync, 3)) << c.raw;
        PcmAudio audio[2];
        for (int k = 0; k < 2; ++k) {
            const std::string mkv = dir.File(std::string(k ? "bad-" : "good-") + c.raw + ".mkv");
            ASSERT_TRUE(Ffmpeg("-i " + Quote(k ? spoilt : raw) + " -c copy " + Quote(mkv)));
            const std::string wav = mkv + ".wav";
            const CommandResult run = Transcode(mkv, wav, "--engine wav");
            EXPECT_EQ(run.exitCode, k ? 3 : 0) << c.raw << ": " << run.output;
            EXPECT_FALSE(Says(run, " @ 0x") || Says(run, "ERROR")) << run.output;
            audio[k] = ReadWav(wav);
            if (k == 0) continue;
            EXPECT_TRUE(Says(run, "3 damaged frames replaced by silence, the first at"));
            EXPECT_TRUE(Says(run, "decoder messages; --verbose shows them"));
            EXPECT_TRUE(Says(Transcode(mkv, wav, "--engine wav --verbose"), mkv + ": libav: ["));
        }
        EXPECT_EQ(audio[1].Frames(), audio[0].Frames()) << c.raw;
        // A few LSB of difference after the decoder's restart; passed-on damage reaches 0 dB.
        const auto peak = [](const PcmAudio& a) {
            const auto louder = [](int16_t x, int16_t y) { return std::abs(x) < std::abs(y); };
            return std::abs(*std::max_element(a.samples.begin(), a.samples.end(), louder));
        };
        EXPECT_LE(peak(audio[1]), peak(audio[0]) * 1.01) << c.raw;
    }
}

// A 5.1 film with a stereo stretch, or one at 44100 Hz, in its middle (raw and in a VOB):
// the job goes on, reports the stretch once (exit 3) and keeps the film's length; the stereo
// stretch's channels stay in L and R with the others silent, the 5.1 ones in their places.
TEST_F(GraphCliTest, MidStreamLayoutAndRateChangesAreCarriedWithTheChannelsInPlace) {
    const std::string five = Make(FilmKind::kAc3, "five.ac3"), two = dir.File("two.ac3"),
                      slow = Make(FilmKind::kAc3, "slow.ac3", kSeconds, 44100);
    ASSERT_TRUE(Ffmpeg("-i " + Quote(five) + " -af " + Quote("pan=stereo|c0=FL|c1=FR") +
                       " -b:a 448k " + Quote(two)));
    const struct {
        const char* name;
        const std::string* middle;
        const char* says;  // with the time (2.01 s in the raw stream) left out
        const char* tail;
    } cases[] = {{"layout", &two, "a stretch in stereo from 00:00:0", ", mapped into 5.1"},
                 {"rate", &slow, "a stretch at 44100 Hz from 00:00:0", ", converted to 48000 Hz"}};
    for (const auto& c : cases) {
        const std::string raw = dir.File(std::string(c.name) + ".ac3");
        ASSERT_EQ(RunCommand("cat " + Quote(five) + " " + Quote(*c.middle) + " " + Quote(five) +
                             " >" + Quote(raw))
                      .exitCode,
                  0);
        const std::string vob = raw + ".vob";
        ASSERT_TRUE(Ffmpeg("-i " + Quote(raw) + " -c copy " + Quote(vob)));
        for (const std::string& input : {raw, vob}) {
            const std::string wav = input + ".wav";
            const CommandResult run = Transcode(input, wav, "--engine wav");
            EXPECT_EQ(run.exitCode, 3) << input << ": " << run.output;
            EXPECT_TRUE(Says(run, c.says) && Says(run, c.tail)) << run.output;
            const PcmAudio audio = ReadWav(wav);
            // From the first sound (a VOB's may come late); stretches are whole AC-3 frames.
            const std::vector<double> left = audio.Channel(0);
            const auto onset = static_cast<std::size_t>(
                std::find_if(left.begin(), left.end(), [](double v) { return v != 0.0; }) -
                left.begin());
            EXPECT_NEAR(static_cast<double>(audio.Frames() - onset), 3 * kSeconds * kRate,
                        3 * 1536.0)
                << input;
            // The middle of each stretch: channel k carries tone k, or is silent where the
            // stereo stretch has no channel.
            for (int part = 0; part < 3; ++part) {
                const auto from = onset + static_cast<std::size_t>((part * kSeconds + 0.3) * kRate);
                const auto to = onset + static_cast<std::size_t>((part * kSeconds + 1.7) * kRate);
                for (int k = 0; k < 6; ++k) {
                    const std::vector<double> all = audio.Channel(k);
                    ASSERT_GE(all.size(), to) << input;
                    const std::vector<double> slice(all.begin() + from, all.begin() + to);
                    const bool silent = part == 1 && c.middle == &two && k != 0 && k != 2;
                    EXPECT_TRUE(silent ? Rms(slice) < 10.0
                                       : ToneAmplitude(slice, kFilmTones[k], kRate) > 1000.0)
                        << input << ", stretch " << part << ", channel " << k;
                }
            }
        }
    }
}

TEST_F(GraphCliTest, DamagedAndCutFilmsEndWithAMessageAndAValidOutput) {
    const std::string vob = Make(FilmKind::kVob, "damaged.vob", 4.0);
    std::vector<uint8_t> bytes = ReadBytes(vob);
    for (std::size_t i = bytes.size() / 3; i < bytes.size() / 3 + 20000 && i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 37);
    WriteBytes(vob, bytes);
    const std::string mkv = Make(FilmKind::kMkvEac3, "cut.mkv", 4.0);
    bytes = ReadBytes(mkv);
    bytes.resize(bytes.size() / 2);
    WriteBytes(mkv, bytes);

    for (const std::string& input : {vob, mkv}) {
        const std::string output = input + ".wav";
        const CommandResult run = Transcode(input, output, "--engine wav");
        // Either the decoders went past the damage (with what they could read, the frames they
        // refused counted: exit 3) or the job says what failed; never a crash or a hang.
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1 || run.exitCode == 3)
            << input << ": " << run.output;
        if (run.exitCode != 0) {
            EXPECT_NE(run.output.find(input), std::string::npos) << run.output;
        }
        if (std::filesystem::exists(output)) {
            const PcmAudio audio = ReadWav(output);
            EXPECT_EQ(audio.channels, 6);
            EXPECT_GT(audio.Frames(), 0u);
        }
    }
}

}  // namespace
}  // namespace tavrisk::test
