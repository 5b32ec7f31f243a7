// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/jobs/TranscodeJob.h"
#include "engines/MonoFilesEngine.h"
#include "engines/Mp2Engine.h"
#include "platform/ThreadNice.h"
#include "sources/WavFileSource.h"
#include "tests/support/RecordingInterface.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

namespace fs = std::filesystem;

class TranscodeJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.SelectProcessingType(TranscoderDialog::kProcessingNative);
        input = dir.File("in.ac3");
        test::WriteBytes(input, {1, 2, 3});
    }

    test::TempDir dir;
    test::RecordingInterface ui;
    TranscoderDialog window{ui};
    WindowJobHost jobs{window};
    TranscodeJob job{jobs};
    const ControlStates& shown = window.Controls();
    std::string input;
};

TEST_F(TranscodeJobTest, NamesAreCheckedBeforeAnythingIsCreated) {
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused);
    EXPECT_EQ(ui.Lines().back(), "File I/O Error: No input file selected");

    window.SetInputName(input);
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused);
    EXPECT_EQ(ui.Lines().back(), "File I/O Error: No output file selected");

    window.SetInputName(dir.File("missing.ac3"));
    window.SetOutputName(dir.File("out.mp2"));
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused);
    EXPECT_EQ(ui.Lines().back(),
              "File Open Error: Unable to Open file '" + dir.File("missing.ac3") + "'");

    window.SetInputName(dir.Path().string());  // a folder is no input file
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused);
    EXPECT_EQ(ui.messages.back().title, "File Open Error");
}

TEST_F(TranscodeJobTest, ExistingOutputAsksAndCancelLeavesItAlone) {
    const std::string output = dir.File("out.mp2");
    test::WriteBytes(output, {9, 9});
    window.SetInputName(input);
    window.SetOutputName(output);
    ui.answer = MessageAnswer::Cancel;
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused);
    EXPECT_EQ(ui.Lines().back(), "File I/O Warning: Overwrite file '" + output + "'");
    EXPECT_EQ(ui.messages.back().buttons, MessageButtons::OkCancel);
    EXPECT_EQ(ui.messages.back().icon, MessageIcon::Question);
    EXPECT_EQ(test::ReadBytes(output), (std::vector<uint8_t>{9, 9}));
}

TEST_F(TranscodeJobTest, AnOutputThatIsTheInputIsRefusedWhateverTheAnswer) {
    // Every spelling, through the command line: OutputSafetyTest.
    fs::create_directory(dir.File("sub"));
    fs::create_symlink(input, dir.File("link.ac3"));
    window.SetInputName(input);
    for (const char* engine : {"mp2", "wav"}) {
        for (const std::string& output : {dir.File("sub/../in.ac3"), dir.File("link.ac3")}) {
            ui.messages.clear();
            window.SelectOutputEngine(OutputEngineItemNamed(engine));
            window.SetOutputName(output);
            EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused) << output;
            ASSERT_EQ(ui.messages.size(), 1u) << "no overwrite question first";
            EXPECT_EQ(ui.Lines()[0],
                      "File I/O Error: The output '" + output + "' is the input file");
        }
    }
    EXPECT_EQ(test::ReadBytes(input), (std::vector<uint8_t>{1, 2, 3}));

    // A mono-file folder that holds the input as one of its six files.
    for (const std::string engine : {"pcm", "wav-mono"}) {
        const bool wavMode = engine == "wav-mono";
        const std::string folder = dir.File(wavMode ? "wavs" : "pcms");
        fs::create_directory(folder);
        const std::string inside = MonoFilesEngine::FilePath(folder, 4, wavMode);
        test::WriteBytes(inside, {4, 5, 6});
        window.SetInputName(dir.File(wavMode ? "wavs/./stream_ls.wav" : "link-ls.pcm"));
        if (!wavMode) fs::create_symlink(inside, dir.File("link-ls.pcm"));
        window.SelectOutputEngine(OutputEngineItemNamed(engine));
        window.SetOutputName(folder);
        ui.messages.clear();
        EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.Lines()[0], "File I/O Error: The output '" + inside + "' is the input file");
        EXPECT_EQ(test::ReadBytes(inside), (std::vector<uint8_t>{4, 5, 6}));
    }
}

TEST_F(TranscodeJobTest, AMonoFileFolderWithExistingFilesAsksOnce) {
    const std::string folder = dir.File("mono");
    fs::create_directory(folder);
    window.SetInputName(input);  // no AC-3 stream: a job that runs fails in its engine
    window.SelectOutputEngine(OutputEngineItemNamed("pcm"));
    window.SetOutputName(folder);
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Failed);
    for (const auto& line : ui.Lines()) EXPECT_EQ(line.find("File I/O Warning"), std::string::npos);

    // The WAV files do not count for the PCM engine, nor the PCM files for the WAV engine.
    test::WriteBytes(MonoFilesEngine::FilePath(folder, 0, true), {9});
    ui.messages.clear();
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Failed);
    for (const auto& line : ui.Lines()) EXPECT_EQ(line.find("File I/O Warning"), std::string::npos);

    test::WriteBytes(MonoFilesEngine::FilePath(folder, 5, false), {9});
    ui.messages.clear();
    ui.answer = MessageAnswer::Cancel;
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.Lines()[0], "File I/O Warning: Overwrite files in '" + folder + "'");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Question);
    EXPECT_EQ(test::ReadBytes(MonoFilesEngine::FilePath(folder, 5, false)),
              (std::vector<uint8_t>{9}));

    ui.answer = MessageAnswer::Ok;
    ui.messages.clear();
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Failed) << "asked, answered OK, and run";
    EXPECT_EQ(ui.Lines()[0], "File I/O Warning: Overwrite files in '" + folder + "'");
    EXPECT_GE(ui.messages.size(), 2u);
}

TEST_F(TranscodeJobTest, FolderOutputRaisesNoQuestion) {
    window.SetInputName(input);
    window.SetOutputName(dir.Path().string() + "/");
    window.SelectOutputEngine(9);  // no engine: the job stops right after the checks
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Refused);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.Lines()[0], "Transcoding Error: No output engine selected");
}

TEST_F(TranscodeJobTest, TheJobsSettingsAreTypedAndMakeTheEncodersArgumentVector) {
    window.SetInputName(input);
    window.SetOutputName(dir.File("x.mp2"));
    window.SelectOutputFrequency(TranscoderDialog::kFreq44100);
    window.SelectBitrate(7);  // "128 Kbps"
    window.SelectPriority(1);
    window.SetWavOrder(WavChannelOrder::kFilm);
    const JobSettings settings = window.JobSettingsForJob();
    EXPECT_EQ(settings.bitrateKbps, 128);
    EXPECT_EQ(settings.outputRate, 44100);
    EXPECT_EQ(settings.channels.outputRate, 44100);
    EXPECT_EQ(settings.engine, "mp2");
    EXPECT_EQ(settings.priority, ProcessPriority::kIdle);
    EXPECT_EQ(settings.wavOrder, WavChannelOrder::kFilm);
    const std::vector<std::string> expected = {
        "Tavrisk", "-r",  "44.100",         "-b", "128", "-B", "128", "-m", "s", "-n", "d", "-o",
        "-L",      input, dir.File("x.mp2")};
    EXPECT_EQ(Mp2Engine::Arguments(settings), expected);
    // Read once: a later change of the controls leaves a job's settings alone.
    window.SelectBitrate(-1);
    window.SelectOutputFrequency(-1);
    EXPECT_EQ(settings.bitrateKbps, 128);
    const JobSettings unselected = window.JobSettingsForJob();
    EXPECT_EQ(unselected.bitrateKbps, -1);
    EXPECT_EQ(unselected.outputRate, 48000) << "the default rate without a selection";
    EXPECT_EQ(Mp2Engine::Arguments(unselected)[2], "48.000");
    EXPECT_EQ(Mp2Engine::Arguments(unselected)[4], "-1");
}

TEST_F(TranscodeJobTest, BatchRunsEveryEntry) {
    window.SetBatch({input, dir.File("missing.ac3")});
    window.SelectProcessingType(TranscoderDialog::kProcessingNative);
    window.SelectOutputEngine(9);
    ui.messages.clear();
    EXPECT_EQ(job.OnTranscode(), TranscodeJob::Outcome::Failed);
    ASSERT_EQ(ui.messages.size(), 2u);  // one per entry
    EXPECT_EQ(shown.outputName.text, dir.File("missing.ac3") + ".mp2");
    EXPECT_EQ(ui.messages[1].title, "File Open Error");
}

TEST_F(TranscodeJobTest, WavInAnyPartOfTheNameSelectsTheWavSource) {
    window.SetInputName("/films/a.wavs/film.ac3");
    EXPECT_NE(dynamic_cast<WavFileSource*>(job.CreateSource(window.JobSettingsForJob()).get()),
              nullptr);
    window.SetInputName("/films/film.WAV");
    EXPECT_NE(dynamic_cast<WavFileSource*>(job.CreateSource(window.JobSettingsForJob()).get()),
              nullptr);
    window.SetInputName("/films/film.ac3");
    EXPECT_EQ(dynamic_cast<WavFileSource*>(job.CreateSource(window.JobSettingsForJob()).get()),
              nullptr);
}

TEST_F(TranscodeJobTest, ExitDuringAJobEndsItWithAValidOutput) {
    const std::string wav = dir.File("in.wav");
    test::WritePlainWav(wav, test::MakeTones({{100, 200, 300, 400, 500, 60}}, 48000, 48000));
    const std::string output = dir.File("out.wav");
    window.SetInputName(wav);
    window.SelectOutputEngine(OutputEngineItemNamed("wav"));
    window.SetOutputName(output);
    ui.onPump = [&] {
        if (ui.pumps == 5) jobs.OnOK();  // "Exit", answered OK
    };
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Stopped);
    EXPECT_EQ(ui.Lines().back(), "Abort transcoding: Sure to stop ?");
    EXPECT_TRUE(jobs.JobStopped());
    EXPECT_TRUE(shown.transcodeButton.enabled);
    const test::PcmAudio written = test::ReadWav(output);
    EXPECT_EQ(written.channels, 6);
    EXPECT_GT(written.Frames(), 0u);
    EXPECT_LT(written.Frames(), 48000u);
    EXPECT_EQ(written.Frames() % 1152, 0u);
}

TEST_F(TranscodeJobTest, TranscodeIsDisabledFromTheAnalysisPassOn) {
    const std::string wav = dir.File("in.wav");
    test::WritePlainWav(wav, test::MakeTones({{100, 200, 300, 400, 500, 60}}, 48000, 48000));
    window.SetInputName(wav);
    window.SelectOutputEngine(OutputEngineItemNamed("wav"));
    window.SetOutputName(dir.File("out.wav"));
    window.SetNormalize(true);
    // Events pumped during the analysis pass (inside the engine's Init) must not be able to
    // start a second job: the button is already off, and the job counts as running.
    int pumpsWhileEnabled = 0, pumpsWhileIdle = 0, pumpsInAnalysis = 0;
    int nestedOutcomes = 0;
    ui.onPump = [&] {
        // A second press delivered by any pump of the job starts nothing.
        if (ui.pumps == 1 && job.RunJob() == TranscodeJob::Outcome::Refused) ++nestedOutcomes;
        if (std::stof(shown.percentText.text) > 50.0f) return;
        ++pumpsInAnalysis;
        if (shown.transcodeButton.enabled) ++pumpsWhileEnabled;
        if (jobs.JobStopped()) ++pumpsWhileIdle;
    };
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Done);
    EXPECT_GT(pumpsInAnalysis, 2);
    EXPECT_EQ(nestedOutcomes, 1);
    EXPECT_EQ(pumpsWhileEnabled, 0);
    EXPECT_LE(pumpsWhileIdle, 1);  // the job's first reset of the display, before its checks
    EXPECT_TRUE(shown.transcodeButton.enabled);

    // A job whose Init fails gives the button back.
    window.SetInputName(input);  // three bytes: no AC-3 stream
    window.SetOutputName(dir.File("out.mp2"));
    window.SelectOutputEngine(OutputEngineItemNamed("mp2"));
    EXPECT_EQ(job.RunJob(), TranscodeJob::Outcome::Failed);
    EXPECT_TRUE(shown.transcodeButton.enabled);
    EXPECT_TRUE(jobs.JobStopped());
}

// In a child process, whose priority goes with it: "Low (idle)" reaches a thread that was
// running and one started later; without privileges "High" is refused and the combo shows
// the priority in force again.
TEST_F(TranscodeJobTest, PriorityReachesEveryThreadAndARefusalKeepsTheOneInForce) {
    const auto child = [this] {
        std::string failures;
        const auto check = [&failures](bool ok, const char* what) { failures += ok ? "" : what; };
        std::atomic<long> earlier{0};
        std::atomic<bool> release{false};
        std::thread running([&] {
            earlier = ::syscall(SYS_gettid);
            while (!release) std::this_thread::yield();
        });
        while (earlier == 0) std::this_thread::yield();
        window.SelectPriority(1);
        job.ApplyPriority();
        check(::getpriority(PRIO_PROCESS, static_cast<id_t>(earlier.load())) == 19,
              "idle in the earlier thread; ");
        int later = 0;
        std::thread([&later] { later = CurrentNice(); }).join();
        check(later == 19, "idle in a later thread; ");
        release = true;
        running.join();
        check(::geteuid() != 0 || ::setuid(65534) == 0, "unprivileged (as nobody); ");
        window.SelectPriority(2);
        check(!job.ApplyPriority() && ui.Lines().back().rfind("Priority Error: Unable to change "
                                                              "priority: Permission denied",
                                                              0) == 0,
              "high refused, saying why; ");
        check(shown.priority.SelectedText() == "Low (idle)", "combo on the priority in force; ");
        std::fputs(failures.c_str(), stderr);  // shown when the test fails
        std::_Exit(failures.empty() ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tavrisk
