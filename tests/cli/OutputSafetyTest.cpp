// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's outputs, end to end: never the input, whole files or none, a question
// before replacing files.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::Quote;
using test::ReadBytes;
using test::RunCommand;
using test::TempDir;

constexpr int kRate = 48000;
constexpr const char* kRefusedText = "' is the input file";

std::string Cli() {
    return Quote(test::BinPath("tavrisk-cli"));
}

// Runs the command line in `folder` with the given arguments.
CommandResult RunIn(const fs::path& folder, const std::string& arguments) {
    return RunCommand("cd " + Quote(folder.string()) + " && " + Cli() + " " + arguments);
}

// Names in a folder that are hidden temporaries of an output.
std::vector<std::string> Temporaries(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".part-") != std::string::npos) found.push_back(name);
    }
    return found;
}

std::size_t EntryCount(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// A six-channel 16-bit WAV of `seconds`, one tone per channel starting at `base` Hz.
void WriteSixChannelWav(const std::string& path, double seconds, double base = 300.0,
                        int rate = kRate) {
    std::vector<double> tones;
    for (int k = 0; k < 6; ++k) tones.push_back(base * (k + 1) * 0.7);
    test::WritePlainWav(
        path, test::MakeTones({tones, 8000.0}, rate, static_cast<std::size_t>(seconds * rate)));
}

// A five-channel AC-3 film (one tone) for graph processing.
void WriteFilm(const std::string& path, int seconds, int rate = kRate) {
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=440:d=" + std::to_string(seconds) +
                             " -af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -ar " +
                             std::to_string(rate) + " -c:a ac3 -b:a 448k " + Quote(path)));
}

const std::vector<uint8_t> kEarlier = {7, 7, 7};

class OutputSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(test::BinPath("tavrisk-cli")) || !test::HaveProgram("ffmpeg"))
            FAIL() << "tavrisk-cli and ffmpeg are needed";
    }
    TempDir dir;
};

TEST_F(OutputSafety, TheInputIsNeverTheOutputInAnySpellingOrEngine) {
    fs::create_directory(dir.File("sub"));
    WriteSixChannelWav(dir.File("a.wav"), 1.0);
    WriteFilm(dir.File("x.ac3"), 1);
    int cases = 0;
    for (const std::string input : {"a.wav", "x.ac3"}) {
        const auto original = ReadBytes(dir.File(input));
        fs::create_symlink(input, dir.File("link-" + input));
        fs::create_hard_link(dir.File(input), dir.File("hard-" + input));
        const std::size_t entries = EntryCount(dir.Path());
        for (const std::string& output : {input, "./" + input, "sub/../" + input, dir.File(input),
                                          "link-" + input, "hard-" + input}) {
            for (const std::string engine : {"mp2", "wav"}) {
                for (const std::string yes : {"", " --yes"}) {
                    SCOPED_TRACE(input + " -> " + output + " " + engine + yes);
                    const auto run = RunIn(
                        dir.Path(), input + " " + Quote(output) + " --engine " + engine + yes);
                    EXPECT_EQ(run.exitCode, 2) << run.output;
                    EXPECT_NE(
                        run.output.find("File I/O Error: The output '" + output + kRefusedText),
                        std::string::npos)
                        << run.output;
                    EXPECT_EQ(run.output.find("Overwrite"), std::string::npos) << "never asked";
                    EXPECT_EQ(ReadBytes(dir.File(input)), original);
                    EXPECT_EQ(EntryCount(dir.Path()), entries) << "no .mpg, no temporary";
                    ++cases;
                }
            }
        }
    }
    // A folder of mono files that holds the input as one of its files.
    for (const std::string engine : {"pcm", "wav-mono"}) {
        const std::string file = engine == "pcm" ? "stream_l.pcm" : "stream_lfe.wav";
        const std::string folder = dir.File("mono-" + engine);
        fs::create_directory(folder);
        fs::copy_file(dir.File("a.wav"), folder + "/" + file);
        const auto original = ReadBytes(folder + "/" + file);
        for (const std::string& input : {folder + "/" + file, dir.File("in-" + engine)}) {
            if (!fs::exists(input)) fs::create_symlink(folder + "/" + file, input);
            for (const std::string yes : {"", " --yes"}) {
                SCOPED_TRACE(input + " " + engine + yes);
                const auto run = RunIn(
                    dir.Path(), Quote(input) + " mono-" + engine + "/ --engine " + engine + yes);
                EXPECT_EQ(run.exitCode, 2) << run.output;
                EXPECT_NE(run.output.find("File I/O Error: The output 'mono-" + engine + "//" +
                                          file + kRefusedText),
                          std::string::npos)
                    << run.output;
                EXPECT_EQ(ReadBytes(folder + "/" + file), original);
                EXPECT_EQ(EntryCount(folder), 1u);
                ++cases;
            }
        }
    }
    std::printf("input destroyed: %d cases refused, input unchanged\n", cases);
}

TEST_F(OutputSafety, AJobThatFailsBeforeItsFirstFrameLeavesEarlierOutputsAlone) {
    test::WriteBytes(dir.File("bad.wav"), {'n', 'o', 't', ' ', 'w', 'a', 'v'});
    test::WriteBytes(dir.File("bad.ac3"), {1, 2, 3});
    const std::vector<uint8_t> earlier = {7, 7, 7};
    fs::create_directory(dir.File("mono"));
    for (const std::string name :
         {"out.mp2", "out.wav", "mono/stream_l.pcm", "mono/stream_rs.pcm", "mono/stream_c.wav"})
        test::WriteBytes(dir.File(name), earlier);
    const std::size_t entries = EntryCount(dir.Path());
    for (const std::string input : {"bad.wav", "bad.ac3"}) {
        for (const auto& [output, engine] :
             std::vector<std::pair<std::string, std::string>>{{"out.mp2", "mp2"},
                                                              {"out.wav", "wav"},
                                                              {"mono", "pcm"},
                                                              {"mono", "wav-mono"},
                                                              {"new.mp2", "mp2"},
                                                              {"new.wav", "wav"},
                                                              {"new-folder", "pcm"}}) {
            SCOPED_TRACE(input + " -> " + output + " " + engine);
            const auto run = RunIn(dir.Path(), input + " " + output + " --yes --engine " + engine);
            EXPECT_EQ(run.exitCode, 1) << run.output;
            EXPECT_EQ(EntryCount(dir.Path()), entries) << "nothing created";
            EXPECT_EQ(EntryCount(dir.File("mono")), 3u);
        }
    }
    for (const std::string name :
         {"out.mp2", "out.wav", "mono/stream_l.pcm", "mono/stream_rs.pcm", "mono/stream_c.wav"})
        EXPECT_EQ(ReadBytes(dir.File(name)), earlier) << name;
}

TEST_F(OutputSafety, TwoJobsOnOneOutputEachLeaveAWholeFileOfOneJob) {
    WriteSixChannelWav(dir.File("a.wav"), 8.0, 300.0);
    WriteSixChannelWav(dir.File("b.wav"), 6.0, 410.0);
    for (const std::string engine : {"mp2", "wav"}) {
        const std::string ext = engine == "mp2" ? ".mp2" : ".wav";
        for (const std::string input : {"a", "b"}) {
            const auto run =
                RunIn(dir.Path(), input + ".wav ref-" + input + ext + " --engine " + engine);
            ASSERT_EQ(run.exitCode, 0) << run.output;
        }
        const auto refA = ReadBytes(dir.File("ref-a" + ext));
        const auto refB = ReadBytes(dir.File("ref-b" + ext));
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(engine + " round " + std::to_string(round));
            const std::string job = Cli() + " --engine " + engine + " --yes ";
            const auto both = RunCommand("cd " + Quote(dir.Path().string()) + " || exit 99; " +
                                         job + "a.wav out" + ext + " >/dev/null 2>&1 & a=$!; " +
                                         job + "b.wav out" + ext + " >/dev/null 2>&1 & b=$!; " +
                                         "wait $a; ea=$?; wait $b; echo \"$ea $?\"");
            EXPECT_EQ(both.output, "0 0\n");
            const auto out = ReadBytes(dir.File("out" + ext));
            EXPECT_TRUE(out == refA || out == refB) << "the whole output of one job";
            EXPECT_TRUE(Temporaries(dir.Path()).empty());
        }
        if (engine == "mp2") {
            const auto check = RunIn(dir.Path(), "check out.mp2");
            EXPECT_EQ(check.exitCode, 0) << check.output;
        } else {
            EXPECT_EQ(test::ReadWav(dir.File("out.wav")).channels, 6);
        }
    }
}

// Runs a job whose files may not grow past `kibibytes` (the signal for it ignored, as a full
// disk would fail the write).
CommandResult RunLimited(const fs::path& folder, int kibibytes, const std::string& arguments) {
    return RunCommand("cd " + Quote(folder.string()) + " && bash -c " +
                      Quote("ulimit -f " + std::to_string(kibibytes) + "; trap '' XFSZ; exec " +
                            Cli() + " " + arguments));
}

// The message of a job, `ended` as said, that kept its output beside an earlier file.
std::string KeptBeside(const std::string& extension,
                       const std::string& ended = "Partial Output: The job failed:") {
    return ended + " the output written so far is kept as 'out.partial" + extension +
           "'; the earlier 'out" + extension + "' is unchanged.";
}

// What a job writing into a full disk leaves: a failed job whose whole MP2 frames or valid
// WAV are kept as a partial file, and the earlier file of the name untouched.
void ExpectWholeOutputsOfAFullDisk(const fs::path& folder,
                                   const std::function<CommandResult(const std::string&)>& run) {
    WriteSixChannelWav((folder.parent_path() / "in44.wav").string(), 12.0, 300.0, 44100);
    const std::string input = Quote((folder.parent_path() / "in44.wav").string());
    const std::string film = (folder.parent_path() / "film.mkv").string();
    WriteFilm(film, 12, 44100);
    test::WriteBytes((folder / "out.mp2").string(), kEarlier);
    test::WriteBytes((folder / "out.wav").string(), kEarlier);
    // 224 kbps at 44.1 kHz: frames of 731 and 732 bytes; native and graph processing.
    for (const std::string& source : {input + " --input-rate 44100", Quote(film) + " --graph"}) {
        SCOPED_TRACE(source);
        const auto job = run(source + " out.mp2 --yes --bitrate 224 --rate 44100");
        EXPECT_EQ(job.exitCode, 1) << job.output;
        // Said once: the engine's message, shown by the terminal.
        EXPECT_TRUE(test::Says(job, "File I/O Error: Could not write \"out.mp2\"."));
        EXPECT_TRUE(test::Says(job, "Could not write \"out.mp2\".", 1));
        EXPECT_TRUE(test::Says(job, KeptBeside(".mp2")));
        EXPECT_EQ(ReadBytes((folder / "out.mp2").string()), kEarlier);
        const auto check = RunIn(folder, "check out.partial.mp2");
        EXPECT_EQ(check.exitCode, 0) << check.output;
        EXPECT_TRUE(test::Says(check, "0 damaged; 0 error(s)"));
        const auto size = fs::file_size(folder / "out.partial.mp2");
        EXPECT_GT(size, 20000u);
        std::printf("full disk: the MP2 keeps %ju bytes of whole frames\n", std::uintmax_t{size});
        fs::remove(folder / "out.partial.mp2");
    }

    const auto job = run(input + " out.wav --yes --engine wav");
    EXPECT_EQ(job.exitCode, 1) << job.output;
    EXPECT_TRUE(test::Says(job, "File I/O Error: Unable to write file:\nout.wav"));
    EXPECT_TRUE(test::Says(job, KeptBeside(".wav")));
    EXPECT_EQ(ReadBytes((folder / "out.wav").string()), kEarlier);
    const auto audio = test::ReadWav((folder / "out.partial.wav").string());
    EXPECT_EQ(fs::file_size(folder / "out.partial.wav"),
              68 + audio.samples.size() * 2);  // extensible
    EXPECT_GT(audio.Frames(), 0u);
    EXPECT_EQ(audio.Frames() % 1152, 0u);
    EXPECT_TRUE(Temporaries(folder).empty());
}

TEST_F(OutputSafety, AFileSizeLimitEndsTheOutputsAtWholeFramesAndBlocks) {
    fs::create_directory(dir.File("out"));
    ExpectWholeOutputsOfAFullDisk(dir.File("out"), [&](const std::string& arguments) {
        return RunLimited(dir.File("out"), 37, arguments);
    });
}

// A small file system of its own, mounted for the test.
class SmallTmpfs {
  public:
    SmallTmpfs(const std::string& path, const std::string& size) : path(path) {
        fs::create_directory(path);
        const auto mount = RunCommand("mount -t tmpfs -o size=" + size + " tmpfs " + Quote(path));
        mounted = mount.exitCode == 0;
        refusal = mount.output;
    }
    ~SmallTmpfs() {
        if (mounted) RunCommand("umount " + Quote(path));
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted = false;
    std::string refusal;

  private:
    std::string path;
};

TEST_F(OutputSafety, AFullFileSystemEndsTheOutputsAtWholeFramesAndBlocks) {
    const SmallTmpfs disk(dir.File("disk"), "200k");
    if (!disk.mounted) {
        std::printf("skipped: a small tmpfs cannot be mounted here: %s\n", disk.refusal.c_str());
        GTEST_SKIP() << "mount -t tmpfs refused: " << disk.refusal;
    }
    ExpectWholeOutputsOfAFullDisk(dir.File("disk"), [&](const std::string& arguments) {
        return RunIn(dir.File("disk"), arguments);
    });
}

TEST_F(OutputSafety, AMonoFileFolderIsReplacedOnlyWithYes) {
    WriteSixChannelWav(dir.File("in.wav"), 1.0);
    fs::create_directory(dir.File("mono"));
    const std::vector<uint8_t> earlier = {7, 7, 7};
    const std::vector<std::string> names = {"l", "r", "c", "lfe", "ls", "rs"};
    for (const auto& name : names)
        test::WriteBytes(dir.File("mono/stream_" + name + ".pcm"), earlier);
    const auto refused = RunIn(dir.Path(), "in.wav mono --engine pcm");
    EXPECT_EQ(refused.exitCode, 2) << refused.output;
    EXPECT_NE(refused.output.find("File I/O Warning: Overwrite files in 'mono'\n  -> Cancel (use "
                                  "--yes to answer OK)"),
              std::string::npos)
        << refused.output;
    for (const auto& name : names)
        EXPECT_EQ(ReadBytes(dir.File("mono/stream_" + name + ".pcm")), earlier);

    const auto replaced = RunIn(dir.Path(), "in.wav mono --engine pcm --yes");
    EXPECT_EQ(replaced.exitCode, 0) << replaced.output;
    EXPECT_NE(replaced.output.find("Overwrite files in 'mono'\n  -> OK (--yes)"),
              std::string::npos);
    for (const auto& name : names)
        EXPECT_EQ(fs::file_size(dir.File("mono/stream_" + name + ".pcm")), 42u * 2304) << name;
    EXPECT_EQ(EntryCount(dir.File("mono")), 6u);
}

// Runs a job in `folder` with every signal at its default (as from a terminal); holds it as
// soon as its output is being written (it has its temporary open, unnamed or hidden, of at
// least `minimumBytes`), sends it `signals` and lets it go. The output is its status, then
// its messages.
CommandResult SignalWhileWriting(const fs::path& folder, const std::string& arguments,
                                 const std::string& signals, int minimumBytes = 1) {
    const std::string script = R"sh(writing() { for f in /proc/$1/fd/*; do case "$(readlink $f)" in
  "$PWD"/[#.]*) [ "$(stat -L -c %s $f)" -ge $2 ] && return 0;; esac; done; return 1; }
env --default-signal "$0" "$@" --yes 2>err.txt & pid=$!
for i in $(seq 3000); do writing $pid $MIN 2>/dev/null && break; sleep 0.01; done
kill -STOP $pid; for s in $SIGNALS; do kill -$s $pid; done; kill -CONT $pid; wait $pid; echo $?
cat err.txt)sh";
    return RunCommand("cd " + Quote(folder.string()) + " && MIN=" + std::to_string(minimumBytes) +
                      " SIGNALS=" + Quote(signals) + " bash -c " + Quote(script) + " " + Cli() +
                      " " + arguments);
}

TEST_F(OutputSafety, AStoppedJobWithoutAnEarlierFileKeepsAWholeOutputAndNoTemporary) {
    WriteSixChannelWav(dir.File("in.wav"), 60.0);
    const auto run = SignalWhileWriting(dir.Path(), "in.wav out.mp2", "TERM");
    EXPECT_EQ(run.output.rfind("143\n", 0), 0u) << run.output;
    EXPECT_NE(run.output.find("Stopped: the output written so far is kept."), std::string::npos);
    const auto check = RunIn(dir.Path(), "check out.mp2");
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_LT(fs::file_size(dir.File("out.mp2")), 60u * 48000) << "stopped early";
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

TEST_F(OutputSafety, SignalsStopJobsOrEndThemAndNeverTouchTheEarlierFileOrLeaveAnyOtherBehind) {
    WriteSixChannelWav(dir.File("in.wav"), 60.0);
    WriteFilm(dir.File("film.mkv"), 60);
    // Ten times the film, copied rather than encoded: its analysis pass outlasts the time the
    // script takes to find the output open, however fast the pass has become.
    ASSERT_TRUE(test::Ffmpeg("-stream_loop 9 -i " + Quote(dir.File("film.mkv")) + " -c copy " +
                             Quote(dir.File("long.mkv"))));
    const std::string partial = KeptBeside(".mp2", "Stopped:");
    struct Case {
        std::string job, signals;
        int status;        // of the first signal; 0: ended at once by the last one
        std::string says;  // empty: no "Stopped" line
        int minimumBytes = 1;
    };
    std::vector<Case> cases = {
        {"film.mkv --graph", "TERM", 143, partial},
        {"film.mkv --graph", "HUP", 129, partial},
        // The output is created before a graph job's analysis pass.
        {"long.mkv --graph --normalize", "INT", 130, "Stopped before any output was written.", 0}};
    for (const int number :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ})
        cases.push_back({"in.wav", sigabbrev_np(number), 128 + number, partial});
    // Killed outright; ended by a second signal (a closing terminal) before acting on the first.
    for (const std::string job : {"in.wav", "film.mkv --graph"})
        for (const std::string signals : {"KILL", "HUP TERM"})
            cases.push_back({job, signals, 0, ""});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.job + ": " + c.signals);
        test::WriteBytes(dir.File("out.mp2"), kEarlier);
        const auto run =
            SignalWhileWriting(dir.Path(), c.job + " out.mp2", c.signals, c.minimumBytes);
        EXPECT_TRUE(c.status == 0 || run.output.rfind(std::to_string(c.status) + "\n", 0) == 0)
            << run.output;
        EXPECT_NE(bool(test::Says(run, c.says.empty() ? "Stopped" : c.says)), c.says.empty())
            << run.output;
        EXPECT_EQ(ReadBytes(dir.File("out.mp2")), kEarlier);
        const bool kept = c.says == partial;
        EXPECT_EQ(kept, RunIn(dir.Path(), "check out.partial.mp2").exitCode == 0);
        EXPECT_EQ(kept, fs::remove(dir.File("out.partial.mp2")));
        EXPECT_TRUE(Temporaries(dir.Path()).empty());
    }
}

}  // namespace
}  // namespace tavrisk
