// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "dsp/DrpCurve.h"

namespace tavrisk {
namespace {

TEST(DrpCurve, DefaultCurveIsTheIdentityFromMinus100To0Db) {
    DrpCurve curve(300, 243);
    EXPECT_EQ(curve.GetPointCount(), 0);
    curve.EnsureDefaultCurve();
    ASSERT_EQ(curve.GetPointCount(), 2);
    float in[2], out[2];
    curve.GetPointsDb(in, out);
    EXPECT_FLOAT_EQ(in[0], -100.0f);
    EXPECT_FLOAT_EQ(out[0], -100.0f);
    EXPECT_FLOAT_EQ(in[1], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.0f);
    EXPECT_EQ(curve.GetReleaseMs(), 300);
}

TEST(DrpCurve, PointsKeepSortedWithNewestFirstAmongEqualX) {
    DrpCurve curve(300, 243);
    curve.InsertPoint({100, 10});
    curve.InsertPoint({50, 20});
    curve.InsertPoint({100, 30});
    const auto& points = curve.Points();
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].x, 50);
    EXPECT_EQ(points[1].y, 30);
    EXPECT_EQ(points[2].y, 10);
}

TEST(DrpCurve, DbConversionRoundTripsAndCopiesAcrossSizesWithinAPixel) {
    DrpCurve big(300, 243);
    const float in[] = {-100.0f, -50.0f, 0.0f};
    const float out[] = {-100.0f, -30.0f, 0.0f};
    big.SetPointsDb(in, out, 3);
    EXPECT_EQ(big.Points()[1].x, 150);
    EXPECT_EQ(big.Points()[1].y, 72);  // trunc(-30 * 243 * -0.01) = 72
    float backIn[3], backOut[3];
    big.GetPointsDb(backIn, backOut);
    EXPECT_NEAR(backIn[1], -50.0f, 1e-4);
    EXPECT_NEAR(backOut[1], -72.0f * 100.0f / 243.0f, 1e-4);

    DrpCurve small(78, 62);
    small.SetReleaseMs(55);
    small.CopyPointsFrom(big);
    EXPECT_EQ(small.GetPointCount(), 3);
    EXPECT_EQ(small.GetReleaseMs(), 55);  // the release time is not copied
    float smallIn[3], smallOut[3];
    small.GetPointsDb(smallIn, smallOut);
    EXPECT_NEAR(smallOut[1], backOut[1], 100.0f / 62.0f);
}

}  // namespace
}  // namespace tavrisk
