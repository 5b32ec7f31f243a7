// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "cli/ProgressLine.h"
namespace tavrisk {
namespace {

TEST(ProgressLine, RedrawsOnlyWhenThePercentageChanges) {
    std::ostringstream out;
    ProgressLine line(out, "Decoding", true);
    line.Update(0, 200);
    line.Update(1, 200);  // still 0 %
    line.Update(100, 200);
    line.Update(250, 200);  // clamped
    line.Finish();
    EXPECT_EQ(out.str(), "\rDecoding 0 %\rDecoding 50 %\rDecoding 100 %\n");
}

TEST(ProgressLine, SilentWhenDisabled) {
    std::ostringstream out;
    ProgressLine line(out, "Decoding", false);
    line.Update(10, 20);
    line.Finish();
    EXPECT_TRUE(out.str().empty());
}

}  // namespace
}  // namespace tavrisk
