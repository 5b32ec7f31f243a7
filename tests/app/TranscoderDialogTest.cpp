#include <gtest/gtest.h>

#include "app/TranscoderDialog.h"
#include "tests/support/RecordingInterface.h"

namespace tavrisk {
namespace {

class TranscoderDialogTest : public ::testing::Test {
  protected:
    test::RecordingInterface ui;
    uint32_t nowMs = 0;
    TranscoderDialog window{ui, [this] { return nowMs; }};
};

TEST_F(TranscoderDialogTest, DefaultsMatchTheWindowAtStart) {
    EXPECT_EQ(window.outputEngine.selected, TranscoderDialog::kEngineMp2);
    EXPECT_EQ(window.GetBitrate(), 384);
    EXPECT_EQ(window.GetOutputRate(), 48000);
    EXPECT_EQ(window.GetInputRate(), 48000);
    EXPECT_FALSE(window.ResamplingNeeded());
    EXPECT_TRUE(window.highQuality.checked);
    EXPECT_EQ(window.GetResamplerKind(), ResamplerKind::kSoxr);
    EXPECT_TRUE(window.directShowMode);
    EXPECT_EQ(window.statusText.text, TranscoderDialog::kGraphStatus);
    EXPECT_EQ(window.resyncDirection.SelectedText(), "Skip");
    EXPECT_EQ(window.normalizeLink.selected, 0);
    EXPECT_EQ(window.drpLink.selected, 1);
    EXPECT_EQ(window.percentText.text, "000,00%");
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(window.Routing()[k], k);
        EXPECT_EQ(window.gainSliders[k].position, 100);
        EXPECT_EQ(window.gainTexts[k].text, "0.00 dB");
        EXPECT_FALSE(window.Curve(k).IsEditable());
    }
    EXPECT_TRUE(window.JobStopped());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TranscoderDialogTest, RoutingStaysAPermutation) {
    window.SelectRouting(0, 2);  // "Center" into "Front Left:"
    EXPECT_EQ(window.routingCombos[2].SelectedText(), "Front Left");
    EXPECT_EQ(window.Routing()[0], 2);
    EXPECT_EQ(window.Routing()[2], 0);
    const auto before = window.Routing();
    window.SelectRouting(3, 3);  // all distinct: nothing else moves
    EXPECT_EQ(window.Routing(), before);
}

TEST_F(TranscoderDialogTest, SliderShowsDbAndMovesLinkedColumns) {
    window.OnSliderScroll(0, 1);
    EXPECT_EQ(window.gainTexts[0].text, "-40.00 dB");
    window.OnSliderScroll(0, 0);  // ignored
    EXPECT_EQ(window.gainTexts[0].text, "-40.00 dB");
    EXPECT_EQ(window.gainSliders[0].position, 1);

    window.SelectNormalizeLink(1);
    window.OnSliderScroll(0, 50);
    EXPECT_EQ(window.gainTexts[1].text, "-6.02 dB");
    EXPECT_EQ(window.gainSliders[1].position, 50);
    EXPECT_EQ(window.gainSliders[4].position, 100);  // "Rear Left" stays
    window.SelectNormalizeLink(3);
    window.OnSliderScroll(3, 70);  // LFE is never linked
    EXPECT_EQ(window.gainSliders[2].position, 100);
}

TEST_F(TranscoderDialogTest, OutputNamingKeepsFolderAndBaseAsTyped) {
    window.SetInputName("/in/Film.AC3");
    window.SetOutputName("/Films/Movie.MP2");
    window.SelectOutputEngine(TranscoderDialog::kEngineWav);
    EXPECT_EQ(window.outputName.text, "/Films/Movie.wav");
    window.SelectOutputEngine(TranscoderDialog::kEnginePcmMono);
    EXPECT_EQ(window.outputName.text, "/Films/");
    EXPECT_FALSE(window.bitrate.enabled);

    window.SelectOutputEngine(TranscoderDialog::kEngineMp2);  // empty base: the input's name
    EXPECT_EQ(window.outputName.text, "/in/Film.AC3.mp2");
    EXPECT_TRUE(window.bitrate.enabled);

    window.OnOutputChosen("/a.b/track");  // a dot in the folder is not an extension
    EXPECT_EQ(window.outputName.text, "/a.b/track.mp2");
    window.OnInputChosen("/x/Movie.wav");
    EXPECT_EQ(window.inputName.text, "/x/Movie.wav");
    EXPECT_EQ(window.outputName.text, "/x/Movie.wav.mp2");
}

TEST_F(TranscoderDialogTest, UpsamplingIsRefused) {
    window.SelectInputFrequency(TranscoderDialog::kFreq44100);
    ASSERT_EQ(ui.Lines().size(), 1u);
    EXPECT_EQ(ui.Lines()[0], "Tavrisk: Upsampling not supported");
    EXPECT_EQ(window.GetInputRate(), 48000);
    EXPECT_EQ(window.GetOutputRate(), 48000);
    window.SelectOutputFrequency(TranscoderDialog::kFreq44100);
    EXPECT_TRUE(window.ResamplingNeeded());
    window.SelectInputFrequency(TranscoderDialog::kFreq44100);
    EXPECT_FALSE(window.ResamplingNeeded());
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(TranscoderDialogTest, ResyncIsReadFromTheEditsAndSigned) {
    window.resyncMinutes.text = "1";
    window.resyncSeconds.text = "2";
    window.resyncMillis.text = "500";
    ASSERT_TRUE(window.UpdateData());
    EXPECT_EQ(window.GetResyncMs(), -62500);
    window.SelectResyncDirection(TranscoderDialog::kResyncInsert);
    EXPECT_EQ(window.GetResyncMs(), 62500);

    window.resyncHours.text = "25";
    EXPECT_FALSE(window.UpdateData());
    EXPECT_EQ(ui.Lines().back(), "Tavrisk: Please enter an integer between 0 and 24.");
    window.resyncHours.text = "x";
    EXPECT_FALSE(window.UpdateData());
    EXPECT_EQ(window.GetResyncMs(), 62500);  // the last valid values stay
}

TEST_F(TranscoderDialogTest, BitrateNeedsASelectionWithABlank) {
    window.bitrate.selected = 0;
    EXPECT_EQ(window.GetBitrate(), 32);
    window.bitrate.selected = -1;
    EXPECT_EQ(window.GetBitrate(), -1);
    window.bitrate.items.push_back("999Kbps");
    window.bitrate.selected = static_cast<int>(window.bitrate.items.size()) - 1;
    EXPECT_EQ(window.GetBitrate(), -1);
}

TEST_F(TranscoderDialogTest, ProgressShowsTimesAndPercent) {
    nowMs = 1000;
    window.MarkStart();
    nowMs = 1000 + 3725 * 1000;
    window.UpdateProgress(0.0f, true);
    EXPECT_EQ(window.elapsedText.text, "01:02:05");
    EXPECT_EQ(window.remainingText.text, "00:00:00");  // kept at percent 0
    EXPECT_EQ(window.percentText.text, "0.00%");

    nowMs = 1000 + 100 * 1000;
    window.UpdateProgress(25.0f, false);
    EXPECT_EQ(window.elapsedText.text, "00:01:40");
    EXPECT_EQ(window.remainingText.text, "00:05:00");
    EXPECT_EQ(window.percentText.text, "25.00%");
    EXPECT_EQ(window.progress.position, 25);

    window.UpdateProgress(50.0f, true);
    EXPECT_EQ(window.percentText.text, "50.00%");
    EXPECT_GE(ui.pumps, 3);
    window.ClearStop();
    EXPECT_FALSE(window.UpdateProgress(60.0f, false));
}

TEST_F(TranscoderDialogTest, ExitDuringAJobAsksFirst) {
    EXPECT_TRUE(window.OnOK());  // no job: the window closes
    window.ClearStop();
    ui.answer = MessageAnswer::Cancel;
    EXPECT_FALSE(window.OnOK());
    EXPECT_FALSE(window.JobStopped());
    ui.answer = MessageAnswer::Ok;
    EXPECT_FALSE(window.OnOK());
    EXPECT_TRUE(window.JobStopped());
    EXPECT_EQ(ui.Lines().back(), "Abort transcoding: Sure to stop ?");
}

TEST_F(TranscoderDialogTest, EditedCurveIsCopiedToDrpLinkedColumns) {
    const float in[] = {-100.0f, -40.0f, 0.0f};
    const float out[] = {-100.0f, -40.0f, -20.0f};
    window.Curve(0).SetPointsDb(in, out, 3);
    window.Curve(0).SetReleaseMs(900);
    window.OnCurveEdited(0);  // link item 1: L with R
    EXPECT_EQ(window.Curve(1).GetPointCount(), 3);
    EXPECT_EQ(window.Curve(1).GetReleaseMs(), 300);
    EXPECT_EQ(window.Curve(4).GetPointCount(), 0);
}

TEST_F(TranscoderDialogTest, PeakLevelsAreShownInDb) {
    window.ShowPeakLevels({0.0f, -6.0206f, -100.0f, -1.5f, 0.0f, 0.0f});
    EXPECT_EQ(window.peakTexts[1].text, "-6.02 dB");
    EXPECT_EQ(window.peakTexts[2].text, "-100.00 dB");
}

}  // namespace
}  // namespace tavrisk
