// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>

#include "app/model/TranscoderDialog.h"
#include "app/model/WindowSettings.h"
#include "tests/support/RecordingInterface.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

// What one run leaves, the next finds; the links are restored after the columns, so that each
// column gets its own gain and curve. What cannot be read is left out.
TEST(WindowSettings, WhatIsSavedIsRestored) {
    test::TempDir dir;
    const std::string path = dir.File("tavrisk.ini");
    test::RecordingInterface ui;
    TranscoderDialog first(ui), next(ui);
    first.SelectOutputEngine(OutputEngineItemNamed("wav"));
    first.SelectBitrate(TranscoderDialog::BitrateItemOf(192));
    first.SelectPriority(1);
    first.SelectNormalizeLink(1);
    first.OnSliderScroll(0, 40);  // L and R
    first.OnSliderScroll(3, 70);
    first.SetCurvePoints(2, {-100, -40, 0}, {-100, -30, -3});  // C alone with DRP link 1
    first.SetReleaseTime(2, 120);
    first.SetDrp(true);
    first.SelectDrpLink(3);
    first.SetLastFolders("/films/", "/out/");
    ASSERT_TRUE(WindowSettings(path).Save(first, {900, 600}));

    const WindowSettings::Size size = WindowSettings(path).Restore(next);
    EXPECT_EQ(size.width * size.height, 900 * 600);
    EXPECT_STREQ(next.SelectedEngine()->cliName, "wav");
    EXPECT_EQ(next.GetBitrate(), 192);
    EXPECT_EQ(next.SelectedPriority(), ProcessPriority::kIdle);
    EXPECT_TRUE(next.IsDrpOn());
    EXPECT_EQ(next.NormalizeLinkMode() * 10 + next.DrpLinkMode(), 13);
    for (int k = 0; k < TranscoderDialog::kColumns; ++k)
        EXPECT_EQ(next.SliderPosition(k), first.SliderPosition(k)) << k;
    EXPECT_EQ(next.Curve(2).GetPointCount() + next.Curve(1).GetPointCount(), 3 + 2)
        << "R keeps the straight line it starts with";
    EXPECT_EQ(next.Curve(2).GetReleaseMs(), 120);
    EXPECT_EQ(next.LastInputFolder() + next.LastOutputFolder(), "/films//out/");

    // Values that cannot be read leave their controls alone.
    std::ofstream(path) << "[Window]\nEngine=ogg\nOutputRate=22050\nBitrate=32\nGain1=250\n"
                           "Gain2=x\nCurve1=-100:-100 oops\nPriority=realtime\nWidth=-5\n";
    TranscoderDialog window(ui);
    EXPECT_EQ(WindowSettings(path).Restore(window).width, 0);
    EXPECT_STREQ(window.SelectedEngine()->cliName, "mp2");
    EXPECT_EQ(window.GetOutputRate(), 48000);
    EXPECT_EQ(window.GetBitrate(), 384) << "a bitrate the stream refuses is not restored";
    EXPECT_EQ(window.SliderPosition(0) + window.SliderPosition(1), 200);
    EXPECT_EQ(window.Curve(0).GetPointCount(), 2) << "the straight line it starts with";
    EXPECT_EQ(window.SelectedPriority(), ProcessPriority::kNormal);
}

}  // namespace
}  // namespace tavrisk
