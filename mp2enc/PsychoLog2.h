// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

namespace tavrisk::mp2 {

// log2 of positive doubles for the model's line levels, inline and without a library call:
// the exponent, a table over the top 7 bits of the mantissa and a degree-6 series of log1p
// around the middle of the table's interval. Within two units in the last place of
// std::log2 (and 1e-15 near 0) for normal arguments; zero, negative, subnormal, infinite
// and NaN arguments take std::log2 itself.
class PsychoLog2 {
  public:
    PsychoLog2() {
        for (int j = 0; j < kIntervals; ++j) {
            // The middle of [1 + j / 128, 1 + (j + 1) / 128).
            const double middle = 1.0 + (j + 0.5) / kIntervals;
            inverse[j] = 1.0 / middle;
            logOfMiddle[j] = -std::log2(inverse[j]);
        }
    }

    double operator()(double y) const {
        const auto bits = std::bit_cast<std::uint64_t>(y);
        const auto biased = static_cast<int>(bits >> kMantissaBits);  // sign bit 0 when y > 0
        if (biased <= 0 || biased >= kMaxBiased) return std::log2(y);
        // y = 2^e m with m in [1, 2); m = middle (1 + r) with |r| < 1/256, r exact but for
        // the rounding of the product (m / middle lies so near 1 that taking 1 is exact).
        const int j = static_cast<int>(bits >> (kMantissaBits - kIndexBits)) & (kIntervals - 1);
        const double m = std::bit_cast<double>((bits & kMantissaMask) | kOneBits);
        const double r = m * inverse[j] - 1.0;
        const double series =
            r * (1.0 + r * (-1.0 / 2 + r * (1.0 / 3 + r * (-1.0 / 4 + r * (1.0 / 5 - r / 6)))));
        return (static_cast<double>(biased - kBias) + logOfMiddle[j]) +
               series * std::numbers::log2e;
    }

    // The constants and tables, for copies of the above that take several values at once.
    static constexpr int kIndexBits = 7;
    static constexpr int kIntervals = 1 << kIndexBits;
    static constexpr int kMantissaBits = 52;
    static constexpr int kBias = 1023;
    static constexpr int kMaxBiased = 2047;  // infinity and NaN
    static constexpr std::uint64_t kMantissaMask = (std::uint64_t{1} << kMantissaBits) - 1;
    static constexpr std::uint64_t kOneBits = std::uint64_t{kBias} << kMantissaBits;
    double Inverse(int j) const { return inverse[j]; }
    double LogOfMiddle(int j) const { return logOfMiddle[j]; }

  private:
    std::array<double, kIntervals> inverse{};
    std::array<double, kIntervals> logOfMiddle{};
};

}  // namespace tavrisk::mp2
