// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>
#include <numbers>

#include "mp2enc/PsychoLog2.h"

namespace tavrisk::mp2 {

// Four doubles at once, for code of the psychoacoustic model compiled both plainly and for
// AVX2: every lane takes the same operations in the same order in both, so the values never
// depend on the processor. Vectors go by reference: by value, 32-byte vectors would change the
// calling convention between the two.
typedef double PsyDoubles4 __attribute__((vector_size(32)));
typedef std::int64_t PsyInts4 __attribute__((vector_size(32)));
typedef std::uint64_t PsyBits4 __attribute__((vector_size(32)));

// Unaligned reads and writes of any vector.
template <typename Vector, typename T>
[[gnu::always_inline]] inline void ReadLanes(Vector& v, const T* p) {
    std::memcpy(&v, p, sizeof v);
}

template <typename Vector, typename T>
[[gnu::always_inline]] inline void WriteLanes(T* p, const Vector& v) {
    std::memcpy(p, &v, sizeof v);
}

// 2^v to a relative 1e-14, v taken within [-1000, 1000]: a series of e^f to f^11 around the
// nearest integer n (|f| <= ln 2 / 2), times 2^n. Adding 1.5 * 2^52 rounds v to n and leaves
// n in the low bits, from which the power of two is built.
[[gnu::always_inline]] inline void Exp2Lanes(const PsyDoubles4& v, PsyDoubles4& out) {
    constexpr double kRounder = 6755399441055744.0;
    constexpr double kLimit = 1000.0;
    PsyDoubles4 w = v < -kLimit ? -kLimit - PsyDoubles4{} : v;
    w = w > kLimit ? kLimit - PsyDoubles4{} : w;
    const PsyDoubles4 shifted = w + kRounder;
    const PsyDoubles4 f = (w - (shifted - kRounder)) * std::numbers::ln2;
    // 1 / k! from k = 11 down to 0.
    constexpr double kTerms[] = {1.0 / 39916800, 1.0 / 3628800, 1.0 / 362880, 1.0 / 40320,
                                 1.0 / 5040,     1.0 / 720,     1.0 / 120,    1.0 / 24,
                                 1.0 / 6,        1.0 / 2,       1.0,          1.0};
    PsyDoubles4 p = kTerms[0] - PsyDoubles4{};
#pragma GCC unroll 16
    for (int k = 1; k < static_cast<int>(std::size(kTerms)); ++k) p = p * f + kTerms[k];
    const PsyBits4 scale = ((PsyBits4)shifted + 1023) << 52;
    out = p * (PsyDoubles4)scale;
}

// log2 of positive normal doubles, the steps of PsychoLog2 in each lane.
[[gnu::always_inline]] inline void Log2Lanes(const PsychoLog2& log2, const PsyDoubles4& y,
                                             PsyDoubles4& out) {
    using Log2 = PsychoLog2;
    const PsyBits4 bits = (PsyBits4)y;
    const PsyInts4 biased = (PsyInts4)(bits >> Log2::kMantissaBits);
    const PsyInts4 j =
        (PsyInts4)(bits >> (Log2::kMantissaBits - Log2::kIndexBits)) & (Log2::kIntervals - 1);
    const PsyDoubles4 m = (PsyDoubles4)((bits & Log2::kMantissaMask) | Log2::kOneBits);
    const PsyDoubles4 inverse = {log2.Inverse(j[0]), log2.Inverse(j[1]), log2.Inverse(j[2]),
                                 log2.Inverse(j[3])};
    const PsyDoubles4 logOfMiddle = {log2.LogOfMiddle(j[0]), log2.LogOfMiddle(j[1]),
                                     log2.LogOfMiddle(j[2]), log2.LogOfMiddle(j[3])};
    const PsyDoubles4 q = m * inverse - 1.0;
    const PsyDoubles4 series =
        q * (1.0 + q * (-1.0 / 2 + q * (1.0 / 3 + q * (-1.0 / 4 + q * (1.0 / 5 - q / 6)))));
    const PsyDoubles4 exponent = __builtin_convertvector(biased - Log2::kBias, PsyDoubles4);
    out = (exponent + logOfMiddle) + series * std::numbers::log2e;
}

}  // namespace tavrisk::mp2
