// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

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

}  // namespace
}  // namespace tavrisk::mp2
