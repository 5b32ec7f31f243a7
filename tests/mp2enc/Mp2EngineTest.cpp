// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "app/jobs/StreamDiagnostics.h"
#include "engines/Mp2Engine.h"
#include "tests/io/FileSizeLimit.h"
#include "tests/mp2enc/StreamCapture.h"
#include "tests/mp2enc/StreamChecks.h"
#include "tests/support/FakeJobHost.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::mp2 {
using tavrisk::Mp2Engine;
namespace {

namespace fs = std::filesystem;
using tavrisk::test::HaveProgram;
using tavrisk::test::Quote;
using tavrisk::test::ReadBytes;
using tavrisk::test::RunCommand;
using tavrisk::test::TempDir;

// What a test source saw, kept beyond the source's life (the engine deletes it).
struct SourceLog {
    int opens = 0;
    int closes = 0;
    int delivered = 0;
};

// Hands out `blocks` blocks of a distinct tone per block row (L, R, C, LFE, LS, RS at
// 300, 600, ... Hz); with `stopAfter` set the input is stopped after that many blocks.
class ToneBlockSource : public BlockSource {
  public:
    ToneBlockSource(SourceLog& log, int blocks, int stopAfter = -1)
        : log(log), blocks(blocks), stopAfter(stopAfter) {}

    bool Open(const std::string&) override {
        ++log.opens;
        return openResult;
    }
    void Close() override { ++log.closes; }
    BlockRead ReadBlock(SampleBlock& block) override {
        if (delivered == stopAfter) return {BlockOutcome::kStopped, {}};
        if (delivered == blocks) return {BlockOutcome::kEnd, {}};
        for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
            for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
                const double t = static_cast<double>(delivered * SampleBlock::kFrames + i) / 48000;
                block.Row(row)[i] =
                    std::round(5000.0 * std::sin(2 * std::numbers::pi * 300.0 * (row + 1) * t));
            }
        }
        ++delivered;
        ++log.delivered;
        return {BlockOutcome::kBlock, {}};
    }

    SourceLog& log;
    int blocks;
    int stopAfter;
    int delivered = 0;
    bool openResult = true;
};

class Mp2EngineTest : public testing::Test {
  protected:
    void SetUp() override { tavrisk::test::WriteBytes(input, {1, 2, 3}); }

    // The job's 15-entry argument vector.
    std::vector<std::string> JobArguments(const std::string& rate, const std::string& bitrate,
                                          const std::string& out) const {
        return {"tavrisk", "-r", rate, "-b", bitrate, "-B",  bitrate, "-m",
                "s",       "-n", "d",  "-o", "-L",    input, out};
    }

    // Runs a whole native job on `source`; returns Run's result.
    bool RunEngine(const std::vector<std::string>& args, std::unique_ptr<ToneBlockSource> source,
                   bool* initOk = nullptr) {
        Mp2Engine engine(window);
        engine.SetEncoderThreads(threads);
        engine.SetDiagnostics(&diagnostics);
        engine.SetSource(std::move(source));
        const bool init = engine.InitWithArguments(args);
        if (initOk) *initOk = init;
        if (!init) return false;
        const bool ran = engine.Run();
        failed = engine.Failed();
        const int closes = log.closes;
        EXPECT_EQ(engine.Finish(), ran) << "a second Finish changes nothing";
        EXPECT_EQ(log.closes, closes);
        return ran;
    }

    TempDir dir;
    std::string input = dir.File("input.wav");
    tavrisk::test::FakeJobHost window;
    test::StreamCapture out, err;
    StreamDiagnostics diagnostics{out.stream(), err.stream()};
    SourceLog log;
    bool failed = false;
    int threads = 1;  // the encoder's
};

TEST_F(Mp2EngineTest, KBlocksGiveKFramesAndTheSourceIsClosed) {
    const std::string mp2 = dir.File("out.mp2");
    auto source = std::make_unique<ToneBlockSource>(log, 7);
    ASSERT_TRUE(RunEngine(JobArguments("48.000", "384", mp2), std::move(source)));
    const auto walk = test::WalkFrames(ReadBytes(mp2), 384, 48000);
    EXPECT_TRUE(walk.ok) << walk.problem;
    EXPECT_EQ(walk.frames, 7);
    EXPECT_FALSE(failed);
    EXPECT_EQ(log.closes, 1);
    // Neither stream is a terminal: no frame counter, nothing else to say.
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(out.text(), "");
}

TEST_F(Mp2EngineTest, AFrontEndWithItsOwnProgressTurnsTheFrameCounterOff) {
    test::TerminalCapture terminal;
    if (terminal.stream() == nullptr) GTEST_SKIP() << "no pseudo-terminals";
    auto run = [&](const std::string& name) {
        Mp2Engine engine(window);
        StreamDiagnostics onTerminal(out.stream(), terminal.stream());
        engine.SetDiagnostics(&onTerminal);
        engine.SetSource(std::make_unique<ToneBlockSource>(log, 2));
        const auto args = JobArguments("48.000", "384", dir.File(name));
        ASSERT_TRUE(engine.InitWithArguments(args));
        EXPECT_TRUE(engine.Run());
        EXPECT_TRUE(engine.Finish());
    };
    run("counted.mp2");
    EXPECT_EQ(terminal.text(), "{   0}\r{   1}\r");
    Mp2Engine::SetFrameCounterAllowed(false);
    run("quiet.mp2");
    Mp2Engine::SetFrameCounterAllowed(true);
    EXPECT_EQ(terminal.text(), "{   0}\r{   1}\r") << "nothing more";
}

TEST_F(Mp2EngineTest, VerboseRunReportsSetUpFramesAndStatistics) {
    const std::string mp2 = dir.File("verbose.mp2");
    auto args = JobArguments("44.100", "384", mp2);
    args.insert(args.begin() + 1, {"-v", "2"});
    ASSERT_TRUE(RunEngine(args, std::make_unique<ToneBlockSource>(log, 8)));
    const std::string text = out.text();
    for (const char* line :
         {"stereo = 2 stereomc = 3 stereoaug = 0\n", "sblim = 30,  table = 1,  br_per_ch = 192\n",
          "Multchannel uses : sblim = 30,  table = 1\n", "bit_rate = 384\n", "slots/frame = 1253\n",
          "frac SpF=0.878, tot bit_rate=384 kbps, s freq=44.1 kHz\n",
          "Fractional number of slots, padding required\n", "No padding for this frame\n",
          "Adb0: 10032\n", "Adb0: 10024\n",
          "js actual_mode: 0  mode: 0  mode_ext: 0  jsbound: 30 dyn_cr:  0 aug_dyn_cr:  0\n",
          "Avg slots/frame = 1253.875; b/smp = 8.71; br = 383.999 kbps\n", "Encoding of \"",
          "\" with psychoacoustic model 1 is finished\n", " It is a multichannel file !\n",
          "The MPEG encoded output file name is \""}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(text.find("overflow"), std::string::npos);
    EXPECT_EQ(text.find("not scaled properly"), std::string::npos);
}

TEST_F(Mp2EngineTest, AStoppedJobLeavesAValidStreamOfTheFramesWritten) {
    const std::string mp2 = dir.File("stopped.mp2");
    ASSERT_TRUE(RunEngine(JobArguments("44.100", "224", mp2),
                          std::make_unique<ToneBlockSource>(log, 50, 3)));
    const auto walk = test::WalkFrames(ReadBytes(mp2), 224, 44100);
    EXPECT_TRUE(walk.ok) << walk.problem;
    EXPECT_EQ(walk.frames, 3);
    if (HaveProgram("ffmpeg")) {
        std::string errors;
        test::DecodeWithFfmpeg(mp2, dir.File("dec"), &errors);
        EXPECT_EQ(errors, "");
    }
}

TEST_F(Mp2EngineTest, NoSourceBlockStillClosesEverythingAndLeavesNoEmptyFile) {
    const std::string mp2 = dir.File("empty.mp2");
    ASSERT_TRUE(
        RunEngine(JobArguments("48.000", "384", mp2), std::make_unique<ToneBlockSource>(log, 0)));
    EXPECT_FALSE(fs::exists(mp2));
    EXPECT_EQ(log.opens, 1);
    EXPECT_EQ(log.closes, 1);
    // An earlier file of the name is not replaced by nothing.
    tavrisk::test::WriteBytes(mp2, {7, 7, 7});
    ASSERT_TRUE(
        RunEngine(JobArguments("48.000", "384", mp2), std::make_unique<ToneBlockSource>(log, 0)));
    EXPECT_EQ(ReadBytes(mp2), (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2) << "input and empty.mp2";
}

TEST_F(Mp2EngineTest, AnOutputThatIsTheInputIsRefusedNotRenamed) {
    fs::create_directory(dir.File("sub"));
    fs::create_symlink(input, dir.File("link.wav"));
    for (const std::string& output :
         {input, dir.File("./input.wav"), dir.File("sub/../input.wav"), dir.File("link.wav")}) {
        bool init = true;
        EXPECT_FALSE(RunEngine(JobArguments("48.000", "384", output),
                               std::make_unique<ToneBlockSource>(log, 2), &init));
        EXPECT_FALSE(init);
        ASSERT_FALSE(window.messages.empty());
        EXPECT_EQ(window.messages.back().text, "The output '" + output + "' is the input file");
        EXPECT_EQ(window.messages.back().title, "File I/O Error");
    }
    EXPECT_EQ(log.opens, 0);
    EXPECT_FALSE(fs::exists(input + ".mpg"));
    // The name made for a missing output is checked too.
    fs::create_hard_link(input, input + ".mpg");
    EXPECT_FALSE(RunEngine({"tavrisk", "-r", "48.000", "-L", input},
                           std::make_unique<ToneBlockSource>(log, 1)));
    EXPECT_EQ(window.messages.back().text, "The output '" + input + ".mpg' is the input file");
    EXPECT_EQ(ReadBytes(input), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(Mp2EngineTest, OptionErrorsFailInitWithoutEndingTheProcess) {
    bool init = true;
    auto args = JobArguments("48.000", "384", dir.File("x.mp2"));
    args.insert(args.begin() + 1, {"-m", "x", "-q"});
    EXPECT_FALSE(RunEngine(args, std::make_unique<ToneBlockSource>(log, 2), &init));
    EXPECT_FALSE(init);
    EXPECT_EQ(err.text(), "tavrisk: -m mode must be s/d/j/m not x\ntavrisk: unrec option q\n");
    // A desktop user sees the refusal too.
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].title, "Tavrisk Internal Encoder Error");
    EXPECT_NE(window.messages[0].text.find("unrec option q"), std::string::npos);
    EXPECT_EQ(log.opens, 0) << "the source is not opened for a refused configuration";
    EXPECT_FALSE(fs::exists(dir.File("x.mp2")));
}

TEST_F(Mp2EngineTest, MissingInputAndUncreatableOutputFailInit) {
    bool init = true;
    auto args = JobArguments("48.000", "384", dir.File("y.mp2"));
    args[13] = dir.File("missing.wav");
    EXPECT_FALSE(RunEngine(args, std::make_unique<ToneBlockSource>(log, 2), &init));
    EXPECT_FALSE(init);
    EXPECT_EQ(out.text(), "") << "said once, through the host";

    const std::string bad = dir.File("no-such-dir/out.mp2");
    auto source = std::make_unique<ToneBlockSource>(log, 2);
    EXPECT_FALSE(RunEngine(JobArguments("48.000", "384", bad), std::move(source), &init));
    EXPECT_FALSE(init);
    EXPECT_NE(out.text().find("Could not create \"" + bad + "\".\n"), std::string::npos);
    // Both reach the job host's message boxes.
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].text, "Could not find \"" + dir.File("missing.wav") + "\".");
    EXPECT_EQ(window.messages[1].text,
              "Could not create \"" + bad + "\": No such file or directory.");
    EXPECT_EQ(window.messages[1].title, "File Creation Error");
}

TEST_F(Mp2EngineTest, SourceRefusalFailsInit) {
    auto source = std::make_unique<ToneBlockSource>(log, 2);
    source->openResult = false;
    bool init = true;
    EXPECT_FALSE(
        RunEngine(JobArguments("48.000", "384", dir.File("z.mp2")), std::move(source), &init));
    EXPECT_FALSE(init);
    EXPECT_EQ(log.opens, 1);
    EXPECT_FALSE(fs::exists(dir.File("z.mp2")));
}

TEST_F(Mp2EngineTest, AWriteFailureFailsTheJobWithTheOutputName) {
    EXPECT_FALSE(RunEngine(JobArguments("48.000", "384", "/dev/full"),
                           std::make_unique<ToneBlockSource>(log, 20)));
    EXPECT_TRUE(failed);
    // Said once, through the host: the encoder's streams do not repeat it.
    EXPECT_EQ(err.text().find("Could not write"), std::string::npos) << err.text();
    EXPECT_EQ(out.text().find("Could not write"), std::string::npos) << out.text();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Could not write \"/dev/full\".");
    EXPECT_EQ(window.messages[0].title, "File I/O Error");
    EXPECT_LT(log.delivered, 20) << "the loop ends at the failed write";
    EXPECT_EQ(log.closes, 1);
}

TEST_F(Mp2EngineTest, AFullDiskKeepsTheWholeFramesWrittenBesideTheEarlierFileAndFailsTheJob) {
    // 224 kbps at 44.1 kHz: frames of 731 and 732 bytes, seven of them 5120 bytes; the last
    // limit falls on a frame end.
    const std::string mp2 = dir.File("full.mp2");
    const std::vector<uint8_t> earlier = {7, 7, 7};
    tavrisk::test::WriteBytes(mp2, earlier);
    for (const rlim_t limit : {20000, 30001, 40960}) {
        {
            tavrisk::test::FileSizeLimit full(limit);
            EXPECT_FALSE(RunEngine(JobArguments("44.100", "224", mp2),
                                   std::make_unique<ToneBlockSource>(log, 200)));
        }
        EXPECT_TRUE(failed);
        EXPECT_EQ(window.messages.back().text, "Could not write \"" + mp2 + "\".");
        EXPECT_EQ(ReadBytes(mp2), earlier);
        const auto bytes = ReadBytes(dir.File("full.partial.mp2"));
        const auto walk = test::WalkFrames(bytes, 224, 44100);
        EXPECT_TRUE(walk.ok) << limit << ": " << walk.problem;
        EXPECT_LE(bytes.size(), limit);
        EXPECT_GT(bytes.size() + 732, limit) << "every whole frame that reached the disk is kept";
    }
}

TEST_F(Mp2EngineTest, OutputNameDefaultsToTheInputWithMpg) {
    std::vector<std::string> args = {"tavrisk", "-r", "48.000", "-L", input};
    ASSERT_TRUE(RunEngine(args, std::make_unique<ToneBlockSource>(log, 1)));
    EXPECT_EQ(fs::file_size(input + ".mpg"), 1152u);
}

TEST_F(Mp2EngineTest, RepeatedJobsInOneProcessWriteTheSameBytes) {
    const std::string a = dir.File("a.mp2");
    const std::string b = dir.File("b.mp2");
    ASSERT_TRUE(
        RunEngine(JobArguments("48.000", "256", a), std::make_unique<ToneBlockSource>(log, 5)));
    ASSERT_TRUE(RunEngine(JobArguments("44.100", "128", dir.File("between.mp2")),
                          std::make_unique<ToneBlockSource>(log, 4)));
    ASSERT_TRUE(
        RunEngine(JobArguments("48.000", "256", b), std::make_unique<ToneBlockSource>(log, 5)));
    EXPECT_EQ(ReadBytes(a), ReadBytes(b));
}

// On several threads the job writes the same bytes, and a write that fails still ends it
// with the output's name, said once.
TEST_F(Mp2EngineTest, FramesOnSeveralThreadsAreTheSameAndAFailedWriteStillEndsTheJob) {
    const std::string serial = dir.File("serial.mp2");
    ASSERT_TRUE(RunEngine(JobArguments("44.100", "224", serial),
                          std::make_unique<ToneBlockSource>(log, 40)));
    for (const int count : {2, 3}) {
        SCOPED_TRACE(count);
        threads = count;
        const std::string parallel = dir.File("parallel.mp2");
        ASSERT_TRUE(RunEngine(JobArguments("44.100", "224", parallel),
                              std::make_unique<ToneBlockSource>(log, 40)));
        EXPECT_EQ(ReadBytes(parallel), ReadBytes(serial));
        window.messages.clear();
        EXPECT_FALSE(RunEngine(JobArguments("44.100", "224", "/dev/full"),
                               std::make_unique<ToneBlockSource>(log, 40)));
        EXPECT_TRUE(failed);
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].text, "Could not write \"/dev/full\".");
        // Settings refused on several threads still say why.
        window.messages.clear();
        EXPECT_FALSE(RunEngine(JobArguments("44.100", "500", parallel),
                               std::make_unique<ToneBlockSource>(log, 1)));
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_NE(window.messages[0].text.find("500"), std::string::npos)
            << window.messages[0].text;
    }
}

// Through the command line: a six-channel WAV made by ffmpeg, a distinct tone per channel.
TEST(Mp2CommandLine, EncodesAWavWhoseDecodedStereoIsTheDownmix) {
    const std::string cli = tavrisk::test::BinPath("tavrisk-cli");
    if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe") || !fs::exists(cli)) {
        FAIL() << "ffmpeg, ffprobe and tavrisk-cli are needed";
    }
    TempDir dir;
    const std::string wav = dir.File("in.wav");
    const auto made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i sine=440:d=2 -f lavfi -i sine=660:d=2 -f lavfi "
        "-i sine=1000:d=2 -f lavfi -i sine=50:d=2 -f lavfi -i sine=1500:d=2 -f lavfi -i "
        "sine=2500:d=2 -filter_complex '[0][1][2][3][4][5]join=inputs=6:channel_layout=5.1[a]' "
        "-map '[a]' -ar 48000 -c:a pcm_s16le " +
        Quote(wav));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const std::string mp2 = dir.File("out.mp2");
    const auto run = RunCommand(Quote(cli) + " " + Quote(wav) + " " + Quote(mp2) +
                                " --engine mp2 --rate 48000 --input-rate 48000 --bitrate 384 "
                                "--yes 2>&1");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto walk = test::WalkFrames(ReadBytes(mp2), 384, 48000);
    EXPECT_TRUE(walk.ok) << walk.problem;
    EXPECT_EQ(walk.frames, 2 * 48000 / 1152 + 1) << "the WAV source pads its last block";
    std::string errors;
    const auto decoded = test::DecodeWithFfmpeg(mp2, dir.File("dec"), &errors);
    EXPECT_EQ(errors, "");
    const auto input = tavrisk::test::ReadWav(wav, true);  // FL FR FC LFE BL BR
    for (int ch = 0; ch < 2; ++ch) {
        const double snr = test::AlignedSnrDb(test::Downmix(input, ch), decoded.Channel(ch), 1200);
        std::printf("command line, channel %d: SNR %.1f dB\n", ch, snr);
        EXPECT_GE(snr, 30.0);
    }

    // An output that cannot be created fails the job: a non-zero exit, never success.
    const std::string bad = dir.File("missing-dir/out.mp2");
    const auto refused =
        RunCommand(Quote(cli) + " " + Quote(wav) + " " + Quote(bad) + " --engine mp2 --yes 2>&1");
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.output.find("Could not create \"" + bad + "\": No such file or directory."),
              std::string::npos)
        << refused.output;
}

}  // namespace
}  // namespace tavrisk::mp2
