// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "app/jobs/WindowJobHost.h"
#include "app/model/TranscoderDialog.h"
#include "tests/support/RecordingInterface.h"

namespace tavrisk {
namespace {

class TranscoderDialogTest : public ::testing::Test {
  protected:
    test::RecordingInterface ui;
    uint32_t nowMs = 0;
    TranscoderDialog window{ui};
    WindowJobHost jobs{window, [this] { return nowMs; }};
    const ControlStates& shown = window.Controls();
};

TEST_F(TranscoderDialogTest, DefaultsMatchTheWindowAtStart) {
    EXPECT_EQ(window.SelectedEngine(), &OutputEngineKinds().front());
    EXPECT_STREQ(window.SelectedEngine()->cliName, "mp2");
    EXPECT_EQ(window.GetBitrate(), 384);
    EXPECT_EQ(window.GetOutputRate(), 48000);
    EXPECT_EQ(window.GetInputRate(), 48000);
    EXPECT_FALSE(window.ResamplingNeeded());
    EXPECT_TRUE(shown.highQuality.checked);
    EXPECT_EQ(window.GetResamplerKind(), ResamplerKind::kSoxr);
    EXPECT_TRUE(window.GraphProcessing());
    EXPECT_EQ(shown.statusText.text, TranscoderDialog::kGraphStatus);
    EXPECT_EQ(shown.resyncDirection.SelectedText(), "Skip");
    EXPECT_EQ(shown.normalizeLink.selected, 0);
    EXPECT_EQ(shown.drpLink.selected, 1);
    EXPECT_EQ(shown.percentText.text, "0.00 %");
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(window.Routing()[k], k);
        EXPECT_EQ(shown.gainSliders[k].position, 100);
        EXPECT_EQ(shown.gainTexts[k].text, "0.00 dB");
        EXPECT_FALSE(window.Curve(k).IsEditable());
    }
    EXPECT_TRUE(jobs.JobStopped());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TranscoderDialogTest, RoutingStaysAPermutation) {
    window.SelectRouting(0, 2);  // "Center" into "Front Left:"
    EXPECT_EQ(shown.routingCombos[2].SelectedText(), "Front Left");
    EXPECT_EQ(window.Routing()[0], 2);
    EXPECT_EQ(window.Routing()[2], 0);
    const auto before = window.Routing();
    window.SelectRouting(3, 3);  // all distinct: nothing else moves
    EXPECT_EQ(window.Routing(), before);
}

TEST_F(TranscoderDialogTest, SliderShowsDbAndMovesLinkedColumns) {
    window.OnSliderScroll(0, 1);
    EXPECT_EQ(shown.gainTexts[0].text, "-40.00 dB");
    window.OnSliderScroll(0, 0, false);  // a notification without a position
    EXPECT_EQ(shown.gainTexts[0].text, "-40.00 dB");
    EXPECT_EQ(shown.gainSliders[0].position, 1);
    window.OnSliderScroll(0, 0);  // the thumb at 0: the channel is muted, and shown so
    EXPECT_EQ(shown.gainTexts[0].text, "muted");
    EXPECT_EQ(shown.gainSliders[0].position, 0);
    EXPECT_EQ(window.CurrentChannelControls().sliderPositions[0], 0);

    window.SelectNormalizeLink(1);
    window.OnSliderScroll(0, 50);
    EXPECT_EQ(shown.gainTexts[1].text, "-6.02 dB");
    EXPECT_EQ(shown.gainSliders[1].position, 50);
    EXPECT_EQ(shown.gainSliders[4].position, 100);  // "Rear Left" stays
    window.SelectNormalizeLink(3);
    window.OnSliderScroll(3, 70);  // LFE is never linked
    EXPECT_EQ(shown.gainSliders[2].position, 100);
}

TEST_F(TranscoderDialogTest, OutputNamingKeepsFolderAndBaseAsTyped) {
    window.SetInputName("/in/Film.AC3");
    window.SetOutputName("/Films/Movie.MP2");
    window.SelectOutputEngine(OutputEngineItemNamed("wav"));
    EXPECT_EQ(shown.outputName.text, "/Films/Movie.wav");
    window.SelectOutputEngine(OutputEngineItemNamed("pcm"));
    EXPECT_EQ(shown.outputName.text, "/Films/");
    EXPECT_FALSE(shown.bitrate.enabled);

    window.SelectOutputEngine(OutputEngineItemNamed("mp2"));  // empty base: the input's name
    EXPECT_EQ(shown.outputName.text, "/in/Film.AC3.mp2");
    EXPECT_TRUE(shown.bitrate.enabled);

    window.OnOutputChosen("/a.b/track");  // a dot in the folder is not an extension
    EXPECT_EQ(shown.outputName.text, "/a.b/track.mp2");
    window.OnInputChosen("/x/Movie.wav");
    EXPECT_EQ(shown.inputName.text, "/x/Movie.wav");
    EXPECT_EQ(shown.outputName.text, "/x/Movie.wav.mp2");
    // A bare name gives the mono files the current folder, not an empty name.
    window.SetOutputName("movie.mp2");
    window.SelectOutputEngine(OutputEngineItemNamed("wav-mono"));
    EXPECT_EQ(shown.outputName.text, "./");
}

// Each box keeps what is chosen in it, in either order: 44.1 kHz may become 48 kHz.
TEST_F(TranscoderDialogTest, EitherFrequencyIsChosenOnItsOwn) {
    window.SelectInputFrequency(TranscoderDialog::kFreq44100);
    EXPECT_EQ(window.GetInputRate(), 44100);
    EXPECT_EQ(window.GetOutputRate(), 48000);
    EXPECT_TRUE(window.ResamplingNeeded());
    window.SelectOutputFrequency(TranscoderDialog::kFreq44100);
    EXPECT_FALSE(window.ResamplingNeeded());
    window.SelectInputFrequency(TranscoderDialog::kFreq48000);
    EXPECT_EQ(window.GetOutputRate(), 44100);
    EXPECT_TRUE(window.ResamplingNeeded());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TranscoderDialogTest, ChoosingAnInputTakesItsRate) {
    window.SetInputRateProbe([](const std::string& name) -> std::optional<int> {
        if (name == "slow.wav") return 44100;
        if (name == "fast.ac3") return 48000;
        return std::nullopt;
    });
    window.OnInputChosen("slow.wav");  // both go down, without the upsampling message
    EXPECT_EQ(shown.inputFrequency.selected, TranscoderDialog::kFreq44100);
    EXPECT_EQ(shown.freq.selected, TranscoderDialog::kFreq44100);
    EXPECT_TRUE(ui.messages.empty());
    window.OnInputChosen("fast.ac3");  // the output may stay below the input
    EXPECT_EQ(shown.inputFrequency.selected, TranscoderDialog::kFreq48000);
    EXPECT_EQ(shown.freq.selected, TranscoderDialog::kFreq44100);
    window.OnInputChosen("unknown.ac3");  // unreadable: the controls stay as they are
    EXPECT_EQ(shown.inputFrequency.selected, TranscoderDialog::kFreq48000);
    EXPECT_TRUE(ui.messages.empty());
}

// 44100 Hz for the MP2 engine is allowed, but the status line says a DVD will not take it.
TEST_F(TranscoderDialogTest, FortyFourPointOneForMp2IsNoted) {
    window.SelectOutputEngine(OutputEngineItemNamed("wav"));
    window.SelectOutputFrequency(TranscoderDialog::kFreq44100);
    EXPECT_EQ(shown.statusText.text, TranscoderDialog::kGraphStatus);
    window.SelectOutputEngine(OutputEngineItemNamed("mp2"));
    EXPECT_EQ(shown.statusText.text, TranscoderDialog::kDvdRateNote);
    EXPECT_EQ(window.GetOutputRate(), 44100);
}

TEST_F(TranscoderDialogTest, TheResultLineTellsHowTheJobEnded) {
    const std::vector<KeptOutput> partial = {{"/f/film.partial.mp2", "/f/film.mp2", true, true}};
    const std::tuple<JobOutcome, float, bool, const char*> cases[] = {
        {JobOutcome::Done, 100.0f, false, "Done: /f/film.mp2 (2 min 0 s of audio in 2.1 s)"},
        {JobOutcome::Stopped, 65.954f, true,
         "Stopped at 65.95 %: partial output kept in '/f/film.partial.mp2'"},
        {JobOutcome::Stopped, 0.0f, false, "Stopped at 0.00 %: nothing was written"},
        {JobOutcome::Refused, 0.0f, false, ""},
    };
    window.SetOutputName("/f/film.mp2");
    for (const auto& [outcome, percent, kept, line] : cases) {
        nowMs = 5000;
        jobs.MarkStart();
        jobs.UpdateProgress(percent, false);
        jobs.KeepJobOutputs(kept ? partial : std::vector<KeptOutput>{});
        jobs.KeepJobAudioFrames(120 * 48000 + 100);
        nowMs = 7100;
        EXPECT_EQ(ResultLine(jobs.LastJobResult(outcome)), line);
    }
}

TEST_F(TranscoderDialogTest, ResyncIsReadFromTheEditsAndSigned) {
    window.SetResyncText(ctl::kResyncMinutes, "1");
    window.SetResyncText(ctl::kResyncSeconds, "2");
    window.SetResyncText(ctl::kResyncMs, "500");
    ASSERT_TRUE(window.UpdateData());
    EXPECT_EQ(window.GetResyncMs(), -62500);
    window.SelectResyncDirection(TranscoderDialog::kResyncInsert);
    EXPECT_EQ(window.GetResyncMs(), 62500);

    // A refused field is named and focused, and no value changes, not even valid ones.
    window.SetResyncText(ctl::kResyncSeconds, "3");
    window.SetResyncText(ctl::kResyncMs, "abc");
    EXPECT_FALSE(window.UpdateData());
    EXPECT_EQ(ui.Lines().back(),
              "Tavrisk: Resync milliseconds: please enter an integer between 0 and 999.");
    EXPECT_EQ(ui.focused, std::vector<int>{ctl::kResyncMs});
    EXPECT_EQ(window.GetResyncMs(), 62500);
}

TEST_F(TranscoderDialogTest, BitrateNeedsASelection) {
    window.SelectBitrate(0);
    EXPECT_EQ(window.GetBitrate(), 32);
    window.SelectBitrate(-1);
    EXPECT_EQ(window.GetBitrate(), -1);
}

TEST_F(TranscoderDialogTest, ProgressShowsTimesAndPercent) {
    nowMs = 1000;
    jobs.MarkStart();
    nowMs = 1000 + 3725 * 1000;
    jobs.UpdateProgress(0.0f, true);
    EXPECT_EQ(shown.elapsedText.text, "01:02:05");
    EXPECT_EQ(shown.remainingText.text, "00:00:00");  // kept at percent 0
    EXPECT_EQ(shown.percentText.text, "0.00 %");

    nowMs = 1000 + 100 * 1000;
    jobs.UpdateProgress(25.0f, false);
    EXPECT_EQ(shown.elapsedText.text, "00:01:40");
    EXPECT_EQ(shown.remainingText.text, "00:05:00");
    EXPECT_EQ(shown.percentText.text, "25.00 %");
    EXPECT_EQ(shown.progress.position, 25);

    jobs.UpdateProgress(50.0f, true);
    EXPECT_EQ(shown.percentText.text, "50.00 %");
    EXPECT_GE(ui.pumps, 3);
    jobs.ClearStop();
    EXPECT_FALSE(jobs.UpdateProgress(60.0f, false));
}

TEST_F(TranscoderDialogTest, ExitDuringAJobAsksFirst) {
    EXPECT_TRUE(jobs.OnOK());  // no job: the window closes
    jobs.ClearStop();
    ui.answer = MessageAnswer::Cancel;
    EXPECT_FALSE(jobs.OnOK());
    EXPECT_FALSE(jobs.JobStopped());
    ui.answer = MessageAnswer::Ok;
    EXPECT_FALSE(jobs.OnOK());
    EXPECT_TRUE(jobs.JobStopped());
    EXPECT_EQ(ui.Lines().back(), "Abort transcoding: Sure to stop ?");
}

TEST_F(TranscoderDialogTest, EditedCurveIsCopiedToDrpLinkedColumns) {
    window.SetReleaseTime(0, 900);
    window.SetCurvePoints(0, {-100.0f, -40.0f, 0.0f}, {-100.0f, -40.0f, -20.0f});  // L with R
    EXPECT_EQ(window.Curve(1).GetPointCount(), 3);
    EXPECT_EQ(window.Curve(1).GetReleaseMs(), 300);
    EXPECT_EQ(window.Curve(4).GetPointCount(), 2) << "LS keeps the straight line it starts with";
}

TEST_F(TranscoderDialogTest, PeakLevelsAreShownInDb) {
    jobs.ShowPeakLevels({0.0f, -6.0206f, -100.0f, -1.5f, 0.0f, 0.0f});
    EXPECT_EQ(shown.peakTexts[1].text, "-6.02 dB");
    EXPECT_EQ(shown.peakTexts[2].text, "-100.00 dB");
}

}  // namespace
}  // namespace tavrisk

namespace tavrisk {
namespace {

// A job's thread reads the published controls and the stop request while the window's
// thread changes them: every copy it reads is whole (the routing a permutation, linked
// sliders equal), and the stop request arrives. The thread-sanitizer run checks the rest.
TEST(TranscoderDialogThreads, AJobThreadReadsWholeControlsAndTheStopRequest) {
    test::RecordingInterface ui;
    TranscoderDialog window(ui);
    WindowJobHost jobs(window);
    window.SelectNormalizeLink(1);  // L and R move together
    jobs.ClearStop();
    std::atomic<bool> torn{false};
    std::atomic<int> reads{0};
    std::thread job([&] {
        while (!jobs.StopRequested()) {
            const ChannelControls controls = jobs.CurrentChannelControls();
            std::array<int, 6> sorted = controls.routing;
            std::sort(sorted.begin(), sorted.end());
            if (sorted != std::array<int, 6>{0, 1, 2, 3, 4, 5}) torn = true;
            if (controls.sliderPositions[0] != controls.sliderPositions[1]) torn = true;
            ++reads;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        window.SelectRouting(i % 6, (i * 7) % 6);
        window.OnSliderScroll(0, 1 + i % 100);
    }
    while (reads < 10) std::this_thread::yield();
    jobs.RequestStop();
    job.join();
    EXPECT_FALSE(torn);
}

// Whatever a job reads at any moment of a handler is the state before or after it, never
// in between: here the copy is taken at every notification the handlers send.
TEST(TranscoderDialogThreads, HandlersPublishTheControlsOnceWhole) {
    struct Watching : test::RecordingInterface {
        TranscoderDialog* window = nullptr;
        std::vector<ChannelControls> seen;
        void ControlChanged(int) override {
            if (window) seen.push_back(window->CurrentChannelControls());
        }
    } ui;
    TranscoderDialog window(ui);
    ui.window = &window;
    window.SelectNormalizeLink(2);  // L, R, LS, RS move together
    window.OnSliderScroll(0, 40);
    window.SelectRouting(0, 3);
    ASSERT_FALSE(ui.seen.empty());
    for (const ChannelControls& controls : ui.seen) {
        EXPECT_EQ(controls.sliderPositions[0], controls.sliderPositions[4]);
        std::array<int, 6> sorted = controls.routing;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, (std::array<int, 6>{0, 1, 2, 3, 4, 5}));
    }
    EXPECT_EQ(window.CurrentChannelControls().sliderPositions[5], 40);
    EXPECT_EQ(window.CurrentChannelControls().routing[0], 3);
}

}  // namespace
}  // namespace tavrisk
