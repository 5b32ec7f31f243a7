// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "mp2enc/PsychoLanes.h"
#include "mp2enc/PsychoLog2.h"

namespace tavrisk::mp2 {
namespace {

// Two units in the last place of a result of size `value`, and no less than 1e-15.
double Tolerance(double value) {
    return 1e-15 + 4.5e-16 * std::fabs(value);
}

// Against the library over the range the model's powers take and far beyond: random
// mantissas, the edges of every table interval, powers of two.
TEST(PsychoLog2, FollowsTheLibraryWithinTwoUnitsInTheLastPlace) {
    const PsychoLog2 log2;
    std::mt19937_64 random(12);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    std::uniform_int_distribution<int> exponent(-1000, 1000);
    for (int n = 0; n < 200000; ++n) {
        const double y = std::ldexp(mantissa(random), exponent(random));
        ASSERT_NEAR(log2(y), std::log2(y), Tolerance(std::log2(y))) << y;
    }
    for (int j = 0; j <= 128; ++j) {
        const double edge = 1.0 + j / 128.0;
        for (const double y : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 3.0)}) {
            ASSERT_NEAR(log2(y), std::log2(y), Tolerance(std::log2(y))) << y;
            ASSERT_NEAR(log2(y * 0x1p-60), std::log2(y * 0x1p-60), Tolerance(60.0)) << y;
        }
    }
    for (int e = -1022; e <= 1023; ++e) ASSERT_NEAR(log2(std::ldexp(1.0, e)), e, Tolerance(e));
}

TEST(PsychoLog2, SpecialArgumentsAreTheLibrarys) {
    const PsychoLog2 log2;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(log2(0.0), -kInf);
    EXPECT_EQ(log2(kInf), kInf);
    EXPECT_TRUE(std::isnan(log2(-1.0)));
    EXPECT_TRUE(std::isnan(log2(std::numeric_limits<double>::quiet_NaN())));
    const double subnormal = std::numeric_limits<double>::denorm_min() * 12345;
    EXPECT_EQ(log2(subnormal), std::log2(subnormal));
}

// The eight-lane float exp2 and log2 of the model's threshold sums against the library, lane by
// lane. A float carries 6e-8 relative, so these are the bounds a float series can promise:
// exp2 to a relative 4e-7 over [-126, 126] (and held at its ends beyond), log2 to
// 3e-7 + 1.2e-7 |log2 y|. Ample for the model: a relative 4e-7 in a power is under 2e-6 dB,
// and its own decisions use margins of 0.01 dB and more.
double FloatLog2Tolerance(double value) {
    return 3e-7 + 1.2e-7 * std::fabs(value);
}

TEST(PsychoLanes, Exp2AndLog2FollowTheLibrary) {
    std::mt19937_64 random(5);
    std::uniform_real_distribution<float> exponent(-126.0f, 126.0f);
    std::vector<float> arguments = {-126.0f, -0.5f, 0.5f, 0.0f, 1.0f, 127.0f, -130.0f, 125.5f};
    for (int n = 0; n < 40000; ++n) arguments.push_back(exponent(random));
    for (float v : arguments) {
        const PsyFloats8 in = {v, -v, v / 7, 0.25f * v, v / 3, -v / 5, 0.5f * v, -0.75f * v};
        PsyFloats8 power, log;
        Exp2Lanes(in, power);
        Log2Lanes(power, log);
        for (int lane = 0; lane < 8; ++lane) {
            const double w = std::clamp(static_cast<double>(in[lane]), -126.0, 126.0);
            ASSERT_NEAR(power[lane] / std::exp2(w), 1.0, 4e-7) << w;
            ASSERT_NEAR(log[lane], std::log2(static_cast<double>(power[lane])),
                        FloatLog2Tolerance(w))
                << power[lane];
        }
    }
    const float root = std::numbers::sqrt2_v<float>;
    const PsyFloats8 edges = {std::nextafter(root, 1.0f),
                              std::nextafter(root, 2.0f),
                              1.0f,
                              std::nextafter(1.0f, 2.0f) * 0x1p-70f,
                              0x1p-126f,
                              0x1p127f,
                              std::nextafter(2.0f, 1.0f),
                              3.0f};
    PsyFloats8 log;
    Log2Lanes(edges, log);
    for (int lane = 0; lane < 8; ++lane) {
        EXPECT_NEAR(log[lane], std::log2(static_cast<double>(edges[lane])),
                    FloatLog2Tolerance(127.0))
            << edges[lane];
    }
}

}  // namespace
}  // namespace tavrisk::mp2
