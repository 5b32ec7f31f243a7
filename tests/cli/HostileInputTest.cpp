// SPDX-License-Identifier: GPL-3.0-or-later
// The command line used as a hostile user would: inputs that are not files, rates that
// lie, bitrates a multichannel stream cannot have, option values that do nothing or hurt,
// signals and closed pipes. Each case checks the exit status, the message and what is on
// disk afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = 48000;
const ToneSet kTones{{300.0, 500.0, 700.0, 900.0, 1100.0, 60.0}, 12000.0};

class HostileInputTest : public ::testing::Test {
  protected:
    // Runs tavrisk-cli with the arguments (already quoted); output and error together.
    static CommandResult Cli(const std::string& arguments) {
        return RunCommand(Quote(BinPath("tavrisk-cli")) + " " + arguments);
    }
    std::string Tones(const std::string& name, int rate, std::size_t frames) {
        const std::string path = dir.File(name);
        WritePlainWav(path, MakeTones(kTones, rate, frames));
        return path;
    }
    TempDir dir;
};

TEST_F(HostileInputTest, InputsThatAreNotRegularFilesAreRefused) {
    const std::string out = dir.File("out.mp2");
    const std::string fifo = dir.File("pipe.ac3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string input;
        std::string prefix;  // shell words before the command
    };
    const Case cases[] = {
        {"/dev/zero", ""},
        {"/dev/urandom", ""},
        {fifo, ""},
        {"/dev/stdin", "printf 'x' |"},
    };
    for (const Case& c : cases) {
        const auto run = RunCommand(c.prefix + " timeout -k 5 20 " + Quote(BinPath("tavrisk-cli")) +
                                    " " + Quote(c.input) + " " + Quote(out) + " --yes");
        EXPECT_EQ(run.exitCode, 2) << c.input << ": " << run.output;
        EXPECT_NE(run.output.find("is not a regular file"), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(out)) << c.input;
    }
    // A folder is no input either.
    const auto folder = Cli(Quote(dir.Path().string()) + " " + Quote(out) + " --yes");
    EXPECT_EQ(folder.exitCode, 2) << folder.output;
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(HostileInputTest, TheInputFilesOwnRateDecides) {
    // A 44.1 kHz file is read at 44.1 kHz by default: the tone and the length are kept.
    const std::string slow = Tones("slow.wav", 44100, 44100 * 2);
    const std::string out = dir.File("slow-out.wav");
    auto run = Cli(Quote(slow) + " " + Quote(out) + " --engine wav --yes");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const PcmAudio audio = ReadWav(out);
    EXPECT_EQ(audio.rate, 44100);
    EXPECT_NEAR(static_cast<double>(audio.Frames()), 44100.0 * 2, 1152.0);
    const std::vector<double> left = audio.Channel(0);
    EXPECT_GT(ToneAmplitude(left, 300.0, 44100), 10.0 * ToneAmplitude(left, 327.0, 44100));

    // Told it is at 48 kHz, the job refuses, naming both rates, and writes nothing.
    const std::string wrong = dir.File("wrong.wav");
    run = Cli(Quote(slow) + " " + Quote(wrong) +
              " --engine wav --rate 44100 --input-rate 48000 "
              "--yes");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("is at 44100 Hz, but the input frequency is set to 48000 Hz"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(fs::exists(wrong));

    // Asked for 48 kHz, the 44.1 kHz file is converted up: the tone and the length are kept.
    const std::string up = dir.File("up.wav");
    run = Cli(Quote(slow) + " " + Quote(up) + " --engine wav --rate 48000 --yes");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const PcmAudio upsampled = ReadWav(up);
    EXPECT_EQ(upsampled.rate, 48000);
    EXPECT_NEAR(static_cast<double>(upsampled.Frames()), 48000.0 * 2, 1152.0);
    EXPECT_GT(ToneAmplitude(upsampled.Channel(0), 300.0, 48000),
              10.0 * ToneAmplitude(upsampled.Channel(0), 327.0, 48000));

    // A 48 kHz file said to be at 44.1 kHz: the same.
    const std::string fast = Tones("fast.wav", kRate, kRate);
    run = Cli(Quote(fast) + " " + Quote(wrong) +
              " --engine wav --rate 44100 --input-rate 44100 --yes");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("is at 48000 Hz"), std::string::npos) << run.output;
}

TEST_F(HostileInputTest, SingleChannelBitratesAreRefusedWithTheReason) {
    const std::string input = Tones("in.wav", kRate, kRate / 2);
    for (const int kbps : {32, 48, 56, 80}) {
        const std::string out = dir.File("low" + std::to_string(kbps) + ".mp2");
        const auto run =
            Cli(Quote(input) + " " + Quote(out) + " --bitrate " + std::to_string(kbps) + " --yes");
        EXPECT_EQ(run.exitCode, 2) << kbps << ": " << run.output;
        EXPECT_NE(run.output.find("bitrate for a single channel"), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(out));
    }
    const std::string out = dir.File("ok.mp2");
    const auto run = Cli(Quote(input) + " " + Quote(out) + " --bitrate 64 --yes");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Cli("check " + Quote(out)).exitCode, 0);
}

TEST_F(HostileInputTest, GainOptionsDoWhatTheySayOrWarn) {
    const std::string input = Tones("in.wav", kRate, kRate);
    // Position 0 mutes the channel when normalising; position 1 is very quiet, not muted.
    const std::string muted = dir.File("muted.wav");
    auto run = Cli(Quote(input) + " " + Quote(muted) +
                   " --engine wav --normalize --gain L=0 --gain R=1 --yes");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const PcmAudio audio = ReadWav(muted);
    EXPECT_EQ(Rms(audio.Channel(0)), 0.0);
    EXPECT_GT(Rms(audio.Channel(2)), 0.0);  // R of the file order L, C, R, ...
    EXPECT_GT(Rms(audio.Channel(1)), 1000.0);

    // Without --normalize the sliders change nothing: say so.
    run = Cli(Quote(input) + " " + Quote(dir.File("plain.wav")) +
              " --engine wav --gain L=50 "
              "--yes");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("warning: --gain sets normalisation targets"), std::string::npos)
        << run.output;
}

TEST_F(HostileInputTest, CurveFilesAreBoundedRegularFiles) {
    const std::string input = Tones("in.wav", kRate, kRate / 4);
    const std::string out = dir.File("out.wav");
    const std::string big = dir.File("big.txt");
    const std::string many = dir.File("many.txt");
    {
        std::string text;
        while (text.size() <= 70 * 1024) text += "-50 -50\n";
        WriteBytes(big, {text.begin(), text.end()});
        std::string points;
        for (int i = 0; i < 300; ++i) {
            // Appended piece by piece: "-" + a temporary trips a false -Wrestrict of GCC 12.
            points += '-';
            points += std::to_string(100 - i % 100);
            points += " -60\n";
        }
        WriteBytes(many, {points.begin(), points.end()});
    }
    for (const std::string& curve : {std::string("/dev/zero"), big, many}) {
        const auto run = RunCommand("timeout -k 5 20 " + Quote(BinPath("tavrisk-cli")) + " " +
                                    Quote(input) + " " + Quote(out) + " --engine wav --drp " +
                                    "--curve L=" + Quote(curve) + " --yes");
        EXPECT_EQ(run.exitCode, 64) << curve << ": " << run.output;
        EXPECT_NE(run.output.find("curve"), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(HostileInputTest, ABatchGoesOnPastABadEntryAndFailsAtItsEnd) {
    const std::string first = Tones("a.wav", kRate, kRate / 4);
    const std::string last = Tones("c.wav", kRate, kRate / 4);
    const std::string bad = dir.File("b.ac3");
    WriteBytes(bad, {1, 2, 3});
    const auto run = Cli("--batch " + Quote(first) + " " + Quote(bad) + " " + Quote(last) +
                         " --engine wav --yes");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(ReadWav(first + ".wav").Frames(), 11u * 1152);  // padded to whole blocks
    EXPECT_EQ(ReadWav(last + ".wav").Frames(), 11u * 1152);
    EXPECT_FALSE(fs::exists(bad + ".wav"));
}

// A job long enough to be stopped while it runs.
class SignalTest : public HostileInputTest {
  protected:
    static constexpr int kSeconds = 120;
    void SetUp() override { input = Tones("long.wav", kRate, kRate * kSeconds); }

    // Starts the job with the default reaction to every stop signal (as from a terminal),
    // sends `signal` `delay` seconds after the job showed its input's format (its handlers
    // are in place and its input is open); the output holds what the job printed and a
    // last line "status=N" with the status a shell would report (128 + N when killed).
    CommandResult Interrupt(const std::string& out, int signal,
                            const std::vector<std::string>& options, double delay) {
        const std::string log = dir.File("job.log");
        fs::remove(log);  // the last job's log says "Input:" already
        std::vector<std::string> words = {BinPath("tavrisk-cli"), input, out};
        words.insert(words.end(), options.begin(), options.end());
        words.push_back("--yes");
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        for (int i = 0; i < 3000; ++i) {
            const std::vector<uint8_t> text =
                fs::exists(log) ? ReadBytes(log) : std::vector<uint8_t>{};
            if (std::string(text.begin(), text.end()).find("Input:") != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const std::vector<uint8_t> text = ReadBytes(log);
        CommandResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.output = std::string(text.begin(), text.end()) +
                        "status=" + std::to_string(result.exitCode) + "\n";
        return result;
    }
    std::string input;
};

TEST_F(SignalTest, TermHupAndIntStopTheJobWithAValidOutput) {
    const std::tuple<std::string, int, int> signals[] = {
        {"TERM", SIGTERM, 143}, {"HUP", SIGHUP, 129}, {"INT", SIGINT, 130}};
    for (const auto& [name, signal, status] : signals) {
        const std::string mp2 = dir.File(name + ".mp2");
        const auto run = Interrupt(mp2, signal, {}, 0.2);
        EXPECT_NE(run.output.find("status=" + std::to_string(status)), std::string::npos)
            << name << ": " << run.output;
        EXPECT_NE(run.output.find("Stopped: the output written so far is kept."), std::string::npos)
            << run.output;
        const auto check = Cli("check " + Quote(mp2));
        EXPECT_EQ(check.exitCode, 0) << name << ": " << check.output;
        const auto probe =
            RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(mp2));
        EXPECT_EQ(probe.exitCode, 0) << probe.output;
        EXPECT_GT(std::atof(probe.output.c_str()), 0.0) << name;
        EXPECT_LT(std::atof(probe.output.c_str()), kSeconds) << name;

        const std::string wav = dir.File(name + ".wav");
        const auto stopped = Interrupt(wav, signal, {"--engine", "wav", "--drp"}, 0.05);
        EXPECT_NE(stopped.output.find("status=" + std::to_string(status)), std::string::npos)
            << stopped.output;
        const PcmAudio audio = ReadWav(wav);  // sizes that match the data
        EXPECT_GT(audio.Frames(), 0u);
        EXPECT_LT(audio.Frames(), static_cast<std::size_t>(kRate) * kSeconds);
    }
}

TEST_F(SignalTest, AStopDuringTheAnalysisPassSaysNothingWasWritten) {
    const std::string out = dir.File("analysed.wav");
    const auto run = Interrupt(out, SIGINT, {"--engine", "wav", "--normalize"}, 0.0);
    EXPECT_NE(run.output.find("status=130"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Stopped before any output was written."), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("kept"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(SignalTest, AnIgnoredHangupStaysIgnored) {
    // As under nohup: the job outlives the hangup and runs to its end.
    const std::string out = dir.File("nohup.wav");
    const auto run = RunCommand("trap '' HUP; " + Quote(BinPath("tavrisk-cli")) + " " +
                                Quote(input) + " " + Quote(out) +
                                " --engine wav --yes >/dev/null 2>&1 & pid=$!; sleep 0.2; "
                                "kill -HUP $pid; wait $pid; echo \"status=$?\"");
    EXPECT_NE(run.output.find("status=0"), std::string::npos) << run.output;
    EXPECT_EQ(ReadWav(out).Frames(), static_cast<std::size_t>(kRate) * kSeconds);
}

TEST_F(SignalTest, AClosedPipeOnTheMessagesIsNoReasonToDie) {
    const std::string out = dir.File("piped.mp2");
    // The reader of standard error is gone before the job writes anything to it.
    const auto run = RunCommand("{ { sleep 0.3; " + Quote(BinPath("tavrisk-cli")) + " " +
                                Quote(input) + " " + Quote(out) +
                                " --bitrate 32 --yes 2>&1; echo \"status=$?\" >&3; } | true; } "
                                "3>&1");
    EXPECT_NE(run.output.find("status=2"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace tavrisk::test
