#include "app/model/WindowSettings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/model/TranscoderDialog.h"
#include "platform/IniFile.h"
#include "tests/support/RecordingInterface.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

class WindowSettingsTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    const std::string path = dir.File("tavrisk.ini");
    test::RecordingInterface ui;
};

// What one run leaves, the next finds, other sections of the file untouched.
TEST_F(WindowSettingsTest, WhatIsSavedIsRestored) {
    WriteText(path, "[OUTPUT]\nWAV_ORDER=film\n");
    TranscoderDialog first(ui);
    first.SelectProcessingType(TranscoderDialog::kProcessingNative);
    first.SelectOutputEngine(OutputEngineItemNamed("wav"));
    first.SelectOutputFrequency(TranscoderDialog::kFreq44100);
    first.SelectBitrate(TranscoderDialog::BitrateItemOf(192));
    first.SetHighQuality(false);
    first.SelectResyncDirection(TranscoderDialog::kResyncInsert);
    first.SelectPriority(1);
    first.SelectNormalizeLink(1);
    first.OnSliderScroll(0, 40);  // L and R
    first.OnSliderScroll(3, 70);
    first.SetNormalize(true);
    first.SetCurvePoints(2, {-100, -40, 0}, {-100, -30, -3});  // C only, with link 1
    first.SetReleaseTime(2, 120);
    first.SetDrp(true);
    first.SelectDrpLink(3);
    first.SetLastFolders("/films/", "/out/");
    ASSERT_TRUE(WindowSettings(path).Save(first, {900, 600}));

    TranscoderDialog next(ui);
    const WindowSettings::Size size = WindowSettings(path).Restore(next);
    EXPECT_EQ(size.width, 900);
    EXPECT_EQ(size.height, 600);
    EXPECT_FALSE(next.GraphProcessing());
    EXPECT_STREQ(next.SelectedEngine()->cliName, "wav");
    EXPECT_EQ(next.GetOutputRate(), 44100);
    EXPECT_EQ(next.GetBitrate(), 192);
    EXPECT_EQ(next.GetResamplerKind(), ResamplerKind::kLinear);
    EXPECT_EQ(next.Controls().resyncDirection.selected, TranscoderDialog::kResyncInsert);
    EXPECT_EQ(next.SelectedPriority(), ProcessPriority::kIdle);
    EXPECT_TRUE(next.IsNormalizeOn());
    EXPECT_TRUE(next.IsDrpOn());
    EXPECT_EQ(next.NormalizeLinkMode(), 1);
    EXPECT_EQ(next.DrpLinkMode(), 3);
    for (int k = 0; k < TranscoderDialog::kColumns; ++k) {
        EXPECT_EQ(next.SliderPosition(k), first.SliderPosition(k)) << k;
        EXPECT_EQ(next.Curve(k).GetPointCount(), first.Curve(k).GetPointCount()) << k;
        EXPECT_EQ(next.Curve(k).GetReleaseMs(), first.Curve(k).GetReleaseMs()) << k;
    }
    EXPECT_EQ(next.Curve(2).GetPointCount(), 3);
    EXPECT_EQ(next.LastInputFolder(), "/films/");
    EXPECT_EQ(next.LastOutputFolder(), "/out/");
    IniFile file(path);
    ASSERT_TRUE(file.Load());
    EXPECT_EQ(file.Get("OUTPUT", "WAV_ORDER"), "film");
    EXPECT_TRUE(ui.messages.empty());
}

// Values that cannot be read leave their controls alone; so does a file without the section.
TEST_F(WindowSettingsTest, UnreadableValuesKeepTheDefaults) {
    WriteText(path,
                    "[Window]\nEngine=ogg\nOutputRate=22050\nBitrate=32\nGain1=250\nGain2=x\n"
                    "Curve1=-100:-100 oops\nPriority=realtime\nNormalizeLink=9\nWidth=-5\n");
    TranscoderDialog window(ui);
    const WindowSettings::Size size = WindowSettings(path).Restore(window);
    EXPECT_EQ(size.width, 0);
    EXPECT_STREQ(window.SelectedEngine()->cliName, "mp2");
    EXPECT_EQ(window.GetOutputRate(), 48000);
    EXPECT_EQ(window.GetBitrate(), 384) << "a bitrate the stream refuses is not restored";
    EXPECT_EQ(window.SliderPosition(0), 100);
    EXPECT_EQ(window.SliderPosition(1), 100);
    EXPECT_EQ(window.Curve(0).GetPointCount(), 2) << "the straight line it starts with";
    EXPECT_EQ(window.SelectedPriority(), ProcessPriority::kNormal);
    EXPECT_EQ(window.NormalizeLinkMode(), 0);
    EXPECT_EQ(WindowSettings(dir.File("none.ini")).Restore(window).height, 0);
}

}  // namespace
}  // namespace tavrisk
