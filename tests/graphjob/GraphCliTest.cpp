// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "tests/graphjob/FilmInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr int kRate = 48000;
constexpr double kSeconds = 2.0;
constexpr std::size_t kBlock = 1152;

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
    // Channel k of a six-channel WAV (L, C, R, LS, RS, LFE) carries tone k and the others
    // `below` times weaker at most.
    static void ExpectToneOfEachChannel(const PcmAudio& audio, const std::string& what,
                                        double below = 20.0) {
        ASSERT_EQ(audio.channels, 6) << what;
        for (int k = 0; k < 6; ++k) {
            const std::vector<double> signal = audio.Channel(k);
            const double own = ToneAmplitude(signal, kFilmTones[k], audio.rate);
            EXPECT_GT(own, 1000.0) << what << ": channel " << k;
            for (int other = 0; other < 6; ++other) {
                if (other == k) continue;
                EXPECT_LT(ToneAmplitude(signal, kFilmTones[other], audio.rate), own / below)
                    << what << ": channel " << k << " carries the tone of " << other;
            }
        }
    }

    TempDir dir;
};

// Every kind of 5.1 soundtrack, through the graph, to WAV and to MP2: channel k of the
// result carries the tone of input channel k, the others at least 40 dB below in the WAV.
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
        ExpectToneOfEachChannel(audio, std::string(film.name) + " to WAV", 100.0);

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

// Every film of the catalogue with default settings: each input channel's tone where its
// position puts it and 40 dB above the others there, the mapping of another layout told once
// as a warning, the output at 48 kHz and of the input's length.
TEST_F(GraphCliTest, EveryKindOfFilmIsTranscodedWithDefaultSettings) {
    for (const FilmCase& film : FilmCatalogue()) {
        const std::string input = dir.File(film.name);
        ASSERT_TRUE(film.make(input)) << film.name;
        const CommandResult run = Transcode(input, input + ".wav", "--engine wav");
        EXPECT_EQ(run.exitCode, film.told.empty() ? 0 : 3) << run.output;
        if (!film.told.empty()) {
            EXPECT_TRUE(Says(run, film.told, 1)) << film.name;
        }
        EXPECT_EQ(film.Problems(ReadWav(input + ".wav")), "") << film.name;
    }
}

// The level in dB of full scale of what remains of `count` samples from `first` on once the
// tone, a whole number of its cycles among them, and any offset are taken out.
double ResidualDb(const std::vector<double>& signal, std::size_t first, std::size_t count,
                  double tone, int rate) {
    const std::vector<double> slice(signal.begin() + static_cast<std::ptrdiff_t>(first),
                                    signal.begin() + static_cast<std::ptrdiff_t>(first + count));
    double sine = 0.0, cosine = 0.0, mean = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * M_PI * tone * static_cast<double>(i) / rate;
        sine += slice[i] * std::sin(phase) * 2.0 / count;
        cosine += slice[i] * std::cos(phase) * 2.0 / count;
        mean += slice[i] / count;
    }
    double power = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * M_PI * tone * static_cast<double>(i) / rate;
        const double rest = slice[i] - sine * std::sin(phase) - cosine * std::cos(phase) - mean;
        power += rest * rest / count;
    }
    return 10.0 * std::log10(power / (32767.0 * 32767.0));
}

// A 24-bit source keeps its precision through the whole chain, rounded to 16 bits once at its
// end: a tone at -70 dBFS brought to full scale keeps the 24-bit noise floor beside it, far
// below the floor of its 16-bit copy. Brought up by normalisation; and by the dynamics along a
// curve that lifts it by 60 dB, at 44.1 kHz converted to 48 kHz.
TEST_F(GraphCliTest, A24BitSourceBroughtToFullScaleKeepsItsNoiseFloorBelowThatOfItsCopy) {
    constexpr double kTone = 997.0;  // 997 whole cycles in a second, sharing no period with it
    const std::string lift = dir.File("lift.txt");
    std::ofstream(lift) << "-100 -40\n-60 0\n";
    const struct {
        int rate;
        std::string options;
    } cases[] = {{kRate, "--normalize"}, {44100, "--drp --curve L=" + Quote(lift)}};
    for (const auto& c : cases) {
        const std::string rate = std::to_string(c.rate);
        const std::string deep = dir.File("deep" + rate + ".flac"), copy = dir.File("copy.flac");
        // ffmpeg's sine peaks at -18 dBFS.
        const std::string tone =
            "volume=-51.94dB,pan=5.1(side)|FL=c0|FR=c0|FC=c0|LFE=c0|SL=c0|SR=c0";
        ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=997:r=" + rate + ":d=1.5 -af " + Quote(tone) +
                           " -c:a flac -sample_fmt s32 -bits_per_raw_sample 24 " + Quote(deep)));
        ASSERT_TRUE(Ffmpeg("-i " + Quote(deep) + " -c:a flac -sample_fmt s16 " + Quote(copy)));
        double floorDb[2] = {};
        for (const int k : {0, 1}) {
            const std::string input = k == 0 ? deep : copy;
            const CommandResult run = Transcode(input, input + ".wav", "--engine wav " + c.options);
            ASSERT_EQ(run.exitCode, 0) << run.output;
            const std::vector<double> left = ReadWav(input + ".wav").Channel(0);
            ASSERT_GE(left.size(), static_cast<std::size_t>(kRate + kRate / 4));
            EXPECT_GT(ToneAmplitude(left, kTone, kRate), 10000.0) << input;
            floorDb[k] = ResidualDb(left, kRate / 4, kRate, kTone, kRate);
        }
        std::printf("[ noise floor beside the tone, %s ] 24-bit %.1f dB, 16-bit copy %.1f dB\n",
                    c.options.c_str(), floorDb[0], floorDb[1]);
        EXPECT_LT(floorDb[0], floorDb[1] - 20.0) << c.options;
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
    // Garbage from the middle on: the decoder fails mid-way.
    const std::string flac = Make(FilmKind::kFlac, "garbage.flac", 4.0);
    bytes = ReadBytes(flac);
    for (std::size_t i = bytes.size() / 2; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 37);
    WriteBytes(flac, bytes);

    for (const std::string& input : {vob, mkv, flac}) {
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
        if (input != flac) continue;
        // What was read before the decoder failed is kept, and the failure told.
        EXPECT_EQ(run.exitCode, 3) << run.output;
        EXPECT_TRUE(Says(run, "'" + flac + "' was read to its end", 1)) << run.output;
        EXPECT_GE(ReadWav(output).Frames(), static_cast<std::size_t>(1.5 * kRate));
    }
}

// The audio stream of a film the graph reads and its name; what an unreadable file is said to be.
// The stream flagged default is read (else the first) and named in the format its data came
// with (a late AC-3 in MP4 made the decoder guess "mono, 8000 Hz"). A file that cannot be read
// says once what it is, exit 2, nothing written; a stream without a decoder names the plugin.
TEST_F(GraphCliTest, TheDefaultStreamIsReadAndUnreadableFilesSayWhatTheyAre) {
    const std::string tones = Make(FilmKind::kAc3, "tones.ac3");
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
        {make("2.mkv", two + "0 0 -disposition:a:1 default"), 0, "track 2 of 2: 5.1", true},
        {make("2.mp4", two + "0 0 -disposition:a:1 default"), 0, "track 2 of 2: 5.1", true},
        {make("1.mkv", two + "0 default -disposition:a:1 0"), 0, "track 1 of 2: 5.1"},
        {make("1.ts", "-map 0:a -map 1:a -c:a ac3 -t 2"), 0, "track 1 of 2: 5.1, 48000 Hz"},
        {make("late.mp4", "-map 1:a -c copy -output_ts_offset 2"), 0, "1 of 1: 5.1, 48000 Hz",
         true},
        {dir.File("empty.mkv"), 2, unknown},
        {dir.File("one.mkv"), 2, unknown},
        {dir.File("noise.vob"), 2, unknown},
        {cut, 2, unknown},
        {make("picture.mkv", picture + "matroska"), 2, "it has no audio stream."},
        {make("picture.vob", picture + "vob"), 2, "it has no audio stream."},
        {make("opus.mkv", "-map 1:a -c:a libopus -ac 2"), 2,
         "The GStreamer plugin for \"Opus decoder\" is not installed", false,
         "GST_PLUGIN_FEATURE_RANK=opusdec:0,avdec_opus:0"},
    };
    for (const auto& c : cases) {
        const std::string output = c.input + ".wav";
        const CommandResult run = Transcode(c.input, output, "--engine wav", c.environment);
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

// A stereo commentary before the 5.1 film mix: listed field by field; the film mix is read
// unless --stream asks for the commentary; a track that is not there is refused by number.
TEST_F(GraphCliTest, TheFilmMixIsChosenOverAFirstCommentaryAndEveryTrackIsListed) {
    const std::string mix = Make(FilmKind::kMkvEac3, "mix.mkv");
    const std::string film = dir.File("commentary.mkv");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=300:r=44100:d=2 -i " + Quote(mix) +
                       " -map 0:a -map 1:a -c:a:0 aac -ac:a:0 2 -c:a:1 copy"
                       " -metadata:s:a:0 language=eng -metadata:s:a:0 title=Commentary"
                       " -disposition:a:0 default -disposition:a:1 0 " +
                       Quote(film)));
    const CommandResult list =
        RunCommand(Quote(BinPath("tavrisk-cli")) + " --list-streams " + Quote(film) + " 2>&1");
    ASSERT_EQ(list.exitCode, 0) << list.output;
    // The length as the container states it, 2 s and the codec's padding.
    const std::string lines[] = {
        "\n1: MPEG-4 AAC, stereo (2 channels), 44100 Hz, float, en, \"Commentary\", default, "
        "0:00:02.0",
        "\n2: E-AC-3 (ATSC A/52B), 5.1 (6 channels), 48000 Hz, float, 0:00:02.0"};
    for (const std::string& line : lines) EXPECT_TRUE(Says(list, line, 1));
    EXPECT_TRUE(Says(list, "track 2 of 2: 5.1, 48000 Hz", 1));
    // A deep source lists its own depth, not that of the floats it is decoded to.
    const std::string deep = dir.File("deep.flac");
    ASSERT_TRUE(
        Ffmpeg("-f lavfi -i sine=r=48000:d=1 -ac 6 -c:a flac -sample_fmt s32 " + Quote(deep)));
    EXPECT_TRUE(Says(RunCommand(Quote(BinPath("tavrisk-cli")) + " --list-streams " + Quote(deep)),
                     "1: Free Lossless Audio Codec (FLAC), 5.1 (6 channels), 48000 Hz, 24-bit, "
                     "0:00:01.0",
                     1));
    const CommandResult chosen = Transcode(film, dir.File("film.wav"), "--engine wav");
    ASSERT_EQ(chosen.exitCode, 0) << chosen.output;
    EXPECT_TRUE(Says(chosen, "track 2 of 2: 5.1, 48000 Hz", 1));
    EXPECT_TRUE(Says(chosen, "the first with the most channels, up to 5.1", 1));
    ExpectToneOfEachChannel(ReadWav(dir.File("film.wav")), "the film mix");

    const CommandResult missing = Transcode(film, dir.File("none.wav"), "--engine wav --stream 3");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(Says(missing, "it has 2 audio tracks, and there is no track 3.", 1));
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.wav")));
}

// A DVD title split over three VOB files of whole sectors (and a menu before them) is read
// whole, named by its folder or by one of its files: the film's channels and its length are
// kept. Its last file cut short, what it holds is kept and the cut is told.
TEST_F(GraphCliTest, ADvdTitleIsReadWholeFromItsFolderOrOneOfItsFilesAndACutIsTold) {
    const std::string program = Make(FilmKind::kVob, "program.vob", 3.0);
    const std::string part3 = SplitIntoDvdTitle(program, dir.File("disc"), 3).back();
    const std::vector<uint8_t> bytes = ReadBytes(part3), menu = ReadBytes(program);
    WriteBytes(dir.File("disc/VIDEO_TS/VTS_01_0.VOB"), {menu.begin(), menu.begin() + 20000});
    const std::string cut = "VTS_01_3.VOB ends inside a 2048-byte sector: the DVD title was cut";
    for (const std::string& input : {dir.File("disc"), dir.File("disc/VIDEO_TS/VTS_01_2.VOB"),
                                     dir.File("disc/VIDEO_TS/VTS_01_1.VOB")}) {
        const bool whole = input != dir.File("disc/VIDEO_TS/VTS_01_1.VOB");
        if (!whole) WriteBytes(part3, {bytes.begin(), bytes.begin() + bytes.size() / 2 + 5});
        const std::string output = dir.File("title.wav");
        const CommandResult run = Transcode(input, output, "--engine wav");
        ASSERT_EQ(run.exitCode, whole ? 0 : 3) << run.output;
        EXPECT_EQ(Says(run, cut, 1), !whole) << run.output;
        const PcmAudio audio = ReadWav(output);
        // Cut: more than the first two files hold, less than the whole.
        const double least = whole ? 3.0 : 2.0, most = whole ? 3.0 : 2.75;
        EXPECT_GE(audio.Frames(), static_cast<std::size_t>(least * kRate) - kBlock) << input;
        EXPECT_LE(audio.Frames(), static_cast<std::size_t>(most * kRate) + 2 * kBlock) << input;
        ExpectToneOfEachChannel(audio, input);
    }
}

// A batch through the graph renders each entry in turn with the same settings, each with its
// own track by the default rule; a missing entry fails alone.
TEST_F(GraphCliTest, ABatchRunsEachFilmThroughTheGraph) {
    const std::string stereo = Make(FilmKind::kStereoMp3, "music.mp3", 1.0);
    const std::string film = Make(FilmKind::kMkvEac3, "film.mkv", 1.0);
    const CommandResult run = RunCli("--graph --yes --engine wav --batch " + Quote(film) + " " +
                                     Quote(dir.File("missing.mkv")) + " " + Quote(stereo));
    EXPECT_EQ(run.exitCode, 1) << run.output;  // the missing entry failed
    EXPECT_TRUE(Says(run, "missing.mkv", 1));
    ExpectToneOfEachChannel(ReadWav(film + ".wav"), "the batch's film");
    const PcmAudio music = ReadWav(stereo + ".wav");
    EXPECT_GT(ToneAmplitude(music.Channel(0), 400.0, kRate), 1000.0);
    EXPECT_GT(ToneAmplitude(music.Channel(2), 800.0, kRate), 1000.0);
}

// Graph jobs keep the film's clock, measured in the output against the film. Inputs: six
// channels of silence, then a 400 Hz burst, as AC-3; a picture made by ffmpeg.
class GraphClockTest : public GraphCliTest {
  protected:
    std::string MakeWith(const std::string& name, const std::string& arguments) {
        EXPECT_TRUE(Ffmpeg(arguments + " " + Quote(dir.File(name)))) << name;
        return dir.File(name);
    }
    std::string Burst(const std::string& name, double seconds, double at,
                      const std::string& filter = "") {
        const std::string tone = "if(gte(t\\," + std::to_string(at) + ")\\,0.4*sin(2*PI*400*t))";
        return MakeWith(name, "-f lavfi -i " +
                                  Quote("aevalsrc=" + tone +
                                        ":c=5.1(side):s=48000:d=" + std::to_string(seconds)) +
                                  filter + " -c:a ac3 -b:a 448k");
    }
    // A film of the picture and the sound, the sound `offset` seconds late.
    std::string Film(const std::string& name, const std::string& sound, double offset,
                     double seconds, const char* format) {
        const std::string picture = MakeWith(
            name + ".picture.mkv",
            "-f lavfi -i testsrc=size=176x144:d=" + std::to_string(seconds) + " -c:v mpeg2video");
        return MakeWith(name, "-i " + Quote(picture) + " -itsoffset " + std::to_string(offset) +
                                  " -i " + Quote(sound) + " -map 0:v -map 1:a -c copy -f " +
                                  format);
    }
    // --graph to a six-channel WAV beside the input.
    CommandResult ToWav(const std::string& input, const std::string& options = "") {
        return Transcode(input, input + ".wav", "--engine wav " + options);
    }
    static std::size_t Onset(const PcmAudio& audio) {
        std::size_t i = 0;
        while (i < audio.Frames() && std::abs(audio.At(i, 0)) < 2000) ++i;
        return i;
    }
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
        const CommandResult run = ToWav(c.input, c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_TRUE(Says(run, c.says, 1));
        EXPECT_NEAR(double(Onset(ReadWav(c.input + ".wav"))), c.burstAt * kRate, kBlock) << c.input;
    }
}

// The damaged films keep the undamaged film's length within one frame, the cut one tells where
// the input ended; the job completes with warnings, told once.
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
        ASSERT_EQ(ToWav(film).exitCode, 0);
        const CommandResult run = ToWav(harmed);
        EXPECT_EQ(run.exitCode, 3) << run.output;
        EXPECT_TRUE(Says(run, "was read to its end", 1));
        EXPECT_EQ(bool(Says(run, "input ended at ", 1)), c.cutShort) << run.output;
        if (c.cutShort) {
            EXPECT_TRUE(Says(run, " of 0:08.0", 1));
        } else {
            EXPECT_NEAR(double(ReadWav(harmed + ".wav").Frames()),
                        double(ReadWav(film + ".wav").Frames()), kBlock)
                << run.output;
        }
    }
}

// AAC in MP4 ends where the container says, not a codec frame early. 4.010 s is 167 blocks and
// 96 frames: the last packet lost would leave 167 blocks, the stated length needs 168.
TEST_F(GraphClockTest, AacInMp4KeepsItsStatedLength) {
    const std::string film = Make(FilmKind::kMp4Aac, "aac.mp4", 4.01);
    ASSERT_EQ(ToWav(film).exitCode, 0);
    EXPECT_EQ(ReadWav(film + ".wav").Frames(), 168 * kBlock);
}

}  // namespace
}  // namespace tavrisk::test
