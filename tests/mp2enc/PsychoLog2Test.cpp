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

// The four-lane exp2 and log2 of the model's threshold sums against the library, lane by lane:
// exp2 to a relative 1e-14 over [-1000, 1000] (and held at its ends beyond), log2 within the
// tolerance above, on its results and on mantissas either side of sqrt(2).
TEST(PsychoLanes, Exp2AndLog2FollowTheLibrary) {
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> exponent(-1000.0, 1000.0);
    std::vector<double> arguments = {-1000.0, -0.5, 0.5, 0.0, 1.0, 1023.0, -1022.0, 999.5};
    for (int n = 0; n < 40000; ++n) arguments.push_back(exponent(random));
    for (double v : arguments) {
        PsyDoubles4 power, log;
        Exp2Lanes(PsyDoubles4{v, -v, v / 7, 0.25 * v}, power);
        Log2Lanes(power, log);
        for (int lane = 0; lane < 4; ++lane) {
            const double w = std::clamp(std::array{v, -v, v / 7, 0.25 * v}[lane], -1000.0, 1000.0);
            ASSERT_NEAR(power[lane] / std::exp2(w), 1.0, 1e-14) << w;
            ASSERT_NEAR(log[lane], std::log2(power[lane]), Tolerance(w)) << power[lane];
        }
    }
    const double root = std::numbers::sqrt2;
    const PsyDoubles4 edges = {std::nextafter(root, 1.0), std::nextafter(root, 2.0), 1.0,
                               std::nextafter(1.0, 2.0) * 0x1p-70};
    PsyDoubles4 log;
    Log2Lanes(edges, log);
    for (int lane = 0; lane < 4; ++lane) {
        EXPECT_NEAR(log[lane], std::log2(edges[lane]), Tolerance(70.0)) << edges[lane];
    }
}

}  // namespace
}  // namespace tavrisk::mp2
