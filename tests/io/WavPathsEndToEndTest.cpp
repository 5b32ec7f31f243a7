// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/RiffChunk.h"
#include "tests/io/IoTestSupport.h"
#include "tests/support/BlockFrames.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

namespace fs = std::filesystem;
using test::PcmAudio;
using test::Quote;
using test::RunCommand;
using test::TempDir;

using test::kBlock;
constexpr int kRate = 48000;
// One tone per input channel L, C, R, LS, RS, LFE.
const std::vector<double> kTones = {330.0, 470.0, 610.0, 790.0, 930.0, 110.0};
constexpr std::size_t kFrames = kBlock * 40 + 300;

test::CommandResult Cli(const std::string& arguments) {
    return RunCommand(Quote(test::BinPath("tavrisk-cli")) + " " + arguments + " --yes 2>&1");
}

// The index of the input tone that dominates a signal.
int DominantTone(const std::vector<double>& signal, int rate) {
    std::vector<double> levels;
    for (const double tone : kTones) levels.push_back(test::ToneAmplitude(signal, tone, rate));
    return static_cast<int>(std::max_element(levels.begin(), levels.end()) - levels.begin());
}

void ExpectOpensInTools(const std::string& path, int channels, int rate) {
    const auto probe = RunCommand(
        "ffprobe -v error -show_entries stream=channels,sample_rate "
        "-of csv=p=0 " +
        Quote(path));
    ASSERT_EQ(probe.exitCode, 0) << probe.output;
    EXPECT_NE(probe.output.find(std::to_string(rate) + "," + std::to_string(channels)),
              std::string::npos)
        << probe.output;
    const auto sox = RunCommand("sox --i -c " + Quote(path));
    ASSERT_EQ(sox.exitCode, 0) << sox.output;
    EXPECT_EQ(std::atoi(sox.output.c_str()), channels);
    // sox decodes the samples too.
    EXPECT_EQ(RunCommand("sox " + Quote(path) + " -n stat").exitCode, 0);
}

class WavPathsEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveProgram("ffmpeg") || !test::HaveProgram("sox") ||
            !fs::exists(test::BinPath("tavrisk-cli"))) {
            FAIL() << "ffmpeg, sox and tavrisk-cli are needed";
        }
        input = test::MakeTones({kTones, 12000.0}, kRate, kFrames);
        inputPath = dir.File("tones.wav");
        test::WritePlainWav(inputPath, input);
    }
    TempDir dir;
    PcmAudio input;
    std::string inputPath;
};

// A 0 dB job without dynamics passes every 16-bit value unchanged, natively and through the
// graph: a file in the standard order comes out as it went in. The film order (here from the
// settings file) writes the same samples L, C, R, LS, RS, LFE under a plain 18-byte record.
TEST_F(WavPathsEndToEnd, AUnityJobPassesEverySampleUnchanged) {
    std::mt19937 random(17);
    std::uniform_int_distribution<int> value(-32768, 32767);
    test::WavLayout layout;
    layout.formatTag = 0xFFFE;
    layout.fmtSize = 40;
    layout.channelMask = 0x3F;
    layout.samples = test::MakeFrames(kBlock * 20, 6, [&](std::size_t frame, int) {
        return static_cast<int16_t>(frame == 0 ? -32768 : value(random));
    });
    const std::string in = dir.File("noise.wav"), out = dir.File("out.wav");
    test::WriteBytes(in, test::BuildWav(layout));
    for (const std::string processing : {"", " --graph"}) {
        const auto run = Cli(Quote(in) + " " + Quote(out) + " --engine wav" + processing);
        ASSERT_EQ(run.exitCode, 0) << processing << run.output;
        EXPECT_TRUE(test::ReadBytes(out) == test::ReadBytes(in)) << processing;
    }
    const std::string ini = "[OUTPUT]\nWAV_ORDER=film\n";
    test::WriteBytes(dir.File("tavrisk.ini"), {ini.begin(), ini.end()});
    ASSERT_EQ(test::RunCli(Quote(in) + " " + Quote(out) + " --engine wav --yes",
                           "TAVRISK_APP_PATH=" + Quote(dir.Path().string()))
                  .exitCode,
              0);
    EXPECT_EQ(GetLe32(test::ReadBytes(out).data() + 16), 18u);         // "fmt " size
    EXPECT_EQ(test::ReadWav(out).samples, test::ReadWav(in).samples);  // both as L, C, R, ...
}

// Our six-channel WAV files, from the engine and from `decode`, as other tools read them: each
// speaker's tone where its name says, and still there after a round trip through AC-3.
TEST_F(WavPathsEndToEnd, OtherToolsReadEverySpeakerInItsPlace) {
    struct Speaker {
        const char* name;     // ffmpeg's, in our file and in the AC-3 it makes of it
        const char* ac3Name;  // (whose surrounds are side ones)
        int soxChannel;       // the file's channel, from 1
        int tone;             // the input channel whose tone it carries (L, C, R, LS, RS, LFE)
    };
    const std::vector<Speaker> speakers = {{"FL", "FL", 1, 0}, {"FR", "FR", 2, 2},
                                           {"FC", "FC", 3, 1}, {"LFE", "LFE", 4, 5},
                                           {"BL", "SL", 5, 3}, {"BR", "SR", 6, 4}};
    const std::string wav = dir.File("engine.wav"), mp2 = dir.File("film.mp2");
    const std::string decoded = dir.File("decoded.wav"), film = dir.File("film.wav");
    ASSERT_EQ(Cli(Quote(inputPath) + " " + Quote(wav) + " --engine wav").exitCode, 0);
    ASSERT_EQ(Cli(Quote(inputPath) + " " + Quote(mp2)).exitCode, 0);
    ASSERT_EQ(Cli("decode " + Quote(mp2) + " " + Quote(decoded)).exitCode, 0);
    const std::string raw = dir.File("speaker.raw");
    const auto toneOf = [&](const std::string& command) {
        const auto run = RunCommand(command + " 2>&1");
        EXPECT_EQ(run.exitCode, 0) << command << run.output;
        const std::vector<int16_t> samples = test::ReadRawPcm(raw);
        return DominantTone(std::vector<double>(samples.begin(), samples.end()), kRate);
    };
    for (const std::string& path : {wav, decoded}) {
        const std::string ac3 = path.substr(0, path.size() - 4) + ".ac3";
        ASSERT_EQ(RunCommand("ffmpeg -v error -i " + Quote(path) + " " + Quote(ac3)).exitCode, 0);
        for (const Speaker& s : speakers) {
            for (const auto& [file, name] : {std::pair{path, s.name}, {ac3, s.ac3Name}}) {
                EXPECT_EQ(toneOf("ffmpeg -v error -y -i " + Quote(file) +
                                 " -af \"pan=mono|c0=" + name + "\" -f s16le " + Quote(raw)),
                          s.tone)
                    << file << " ffmpeg " << name;
            }
            EXPECT_EQ(toneOf("sox " + Quote(path) + " -t raw -e signed -b 16 " + Quote(raw) +
                             " remix " + std::to_string(s.soxChannel)),
                      s.tone)
                << path << " sox " << s.name;
        }
    }
    // `decode --wav-order film`: a plain file in the decoder's order L, C, R, LS, RS, LFE.
    ASSERT_EQ(Cli("decode " + Quote(mp2) + " " + Quote(film) + " --wav-order film").exitCode, 0);
    EXPECT_EQ(GetLe32(test::ReadBytes(film).data() + 16), 18u);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(DominantTone(test::ReadWav(film).Channel(k), kRate), k);
}

TEST_F(WavPathsEndToEnd, FfmpegExtensibleInputIsReadInItsChannelOrder) {
    // ffmpeg writes six channels with the 5.1 mask in the order FL FR FC LFE and surrounds.
    const std::string masked = dir.File("ffmpeg.wav");
    std::string expressions;
    for (const double tone : {kTones[0], kTones[2], kTones[1], kTones[5], kTones[3], kTones[4]}) {
        // Appended piece by piece: a literal + string temporary trips a false -Wrestrict in
        // GCC 12 at -O3.
        if (!expressions.empty()) expressions += '|';
        expressions += "0.4*sin(";
        expressions += std::to_string(static_cast<int>(tone));
        expressions += "*2*PI*t)";
    }
    const std::string command = "ffmpeg -v error -y -f lavfi -i \"aevalsrc=" + expressions +
                                ":c=5.1:s=48000:d=2\" -c:a pcm_s16le " + Quote(masked) + " 2>&1";
    const auto made = RunCommand(command);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const std::string out = dir.File("out.wav");
    const auto run = Cli(Quote(masked) + " " + Quote(out) + " --engine wav");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const PcmAudio output = test::ReadWav(out);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(DominantTone(output.Channel(k), kRate), k) << "channel " << k;
    }
}

TEST_F(WavPathsEndToEnd, MonoFilesCarryOneChannelEach) {
    // Files l, r, c, lfe, ls, rs hold the input channels L, R, C, LFE, LS, RS.
    const std::vector<int> inputOfFile = {0, 2, 1, 5, 3, 4};
    const std::vector<std::string> names = {"l", "r", "c", "lfe", "ls", "rs"};
    const std::string wavFolder = dir.File("mono/wav");
    auto run = Cli(Quote(inputPath) + " " + Quote(wavFolder) + " --engine wav-mono");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string pcmFolder = dir.File("mono/pcm");
    run = Cli(Quote(inputPath) + " " + Quote(pcmFolder) + " --engine pcm");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (std::size_t f = 0; f < names.size(); ++f) {
        const std::string wav = wavFolder + "/stream_" + names[f] + ".wav";
        ExpectOpensInTools(wav, 1, kRate);
        const PcmAudio mono = test::ReadWav(wav);
        const std::vector<int16_t> raw =
            test::ReadRawPcm(pcmFolder + "/stream_" + names[f] + ".pcm");
        EXPECT_EQ(raw, mono.samples) << names[f];
        ASSERT_EQ(mono.Frames(), (kFrames / kBlock + 1) * kBlock);
        EXPECT_EQ(DominantTone(mono.Channel(0), kRate), inputOfFile[f]) << names[f];
        for (std::size_t i = 0; i < mono.Frames(); i += 7) {
            const int expected = i < kFrames ? input.At(i, inputOfFile[f]) : 0;
            ASSERT_LE(std::abs(mono.samples[i] - expected), 1) << names[f];
        }
    }
}

TEST_F(WavPathsEndToEnd, ResampledOutputIsAt44100Hz) {
    const std::string out = dir.File("out44.wav");
    const auto run =
        Cli(Quote(inputPath) + " " + Quote(out) + " --engine wav --rate 44100 --input-rate 48000");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ExpectOpensInTools(out, 6, 44100);
    const PcmAudio output = test::ReadWav(out);
    const auto expectedFrames =
        (static_cast<std::size_t>(kFrames / 1.0884354) / kBlock + 1) * kBlock;
    EXPECT_EQ(output.Frames(), expectedFrames);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(DominantTone(output.Channel(k), 44100), k) << "channel " << k;
    }
}

TEST_F(WavPathsEndToEnd, NormalizedAndProcessedJobReachesFullScale) {
    const std::string out = dir.File("loud.wav");
    const auto run = Cli(Quote(inputPath) + " " + Quote(out) + " --engine wav --normalize --drp");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const PcmAudio output = test::ReadWav(out);
    for (int k = 0; k < 6; ++k) {
        const auto channel = output.Channel(k);
        const double peak = std::max(*std::max_element(channel.begin(), channel.end()),
                                     -*std::min_element(channel.begin(), channel.end()));
        EXPECT_GT(peak, 32000.0) << "channel " << k;
        EXPECT_EQ(DominantTone(channel, kRate), k) << "channel " << k;
    }
}

TEST_F(WavPathsEndToEnd, BadInputFailsTheJobAndLeavesNoOutput) {
    struct Case {
        std::string name;
        std::string make;  // shell command writing $F
        std::string error;
    };
    const std::vector<Case> cases = {
        {"empty.wav", ": > \"$F\"", "File Open Error: Unable to read WAV file"},
        {"text.wav", "echo not a wav > \"$F\"", "not a RIFF WAVE file"},
        {"stereo.wav", "ffmpeg -v error -f lavfi -i sine=d=1 -ac 2 \"$F\"",
         "Tavrisk Internal Encoder Error: WAV Format Not supported"},
        {"deep.wav",
         "ffmpeg -v error -f lavfi -i sine=d=1 -af \"pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0\" "
         "-c:a pcm_s24le \"$F\"",
         "WAV Format Not supported"},
        {"slow.wav",
         "ffmpeg -v error -f lavfi -i sine=d=1:r=32000 -af "
         "\"pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0\" \"$F\"",
         "WAV Format Not supported"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.File(c.name);
        const auto made = RunCommand("F=" + Quote(path) + "; " + c.make + " 2>&1");
        ASSERT_EQ(made.exitCode, 0) << c.name << made.output;
        for (const std::string engine : {"wav", "wav-mono", "pcm"}) {
            const std::string out = dir.File("out-" + engine + "-" + c.name);
            const auto run = Cli(Quote(path) + " " + Quote(out) + " --engine " + engine);
            EXPECT_NE(run.exitCode, 0) << c.name;
            EXPECT_NE(run.output.find(c.error), std::string::npos) << c.name << run.output;
            EXPECT_FALSE(fs::exists(out)) << out;
        }
    }
}

}  // namespace
}  // namespace tavrisk
