// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>
#include <numbers>

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

// log2 of positive normal doubles to 1e-15: y = 2^e m, m in [sqrt(1/2), sqrt(2)), and
// ln m = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172, by its series to s^19.
[[gnu::always_inline]] inline void Log2Lanes(const PsyDoubles4& y, PsyDoubles4& out) {
    constexpr std::uint64_t kMantissaMask = (std::uint64_t{1} << 52) - 1;
    constexpr std::uint64_t kOneBits = std::uint64_t{1023} << 52;
    const PsyBits4 bits = (PsyBits4)y;
    const PsyDoubles4 unit = (PsyDoubles4)((bits & kMantissaMask) | kOneBits);
    const PsyInts4 above = unit > std::numbers::sqrt2;  // -1 where m is halved
    const PsyDoubles4 m = above ? unit * 0.5 : unit;
    const PsyInts4 exponent = (PsyInts4)(bits >> 52) - 1023 - above;
    const PsyDoubles4 s = (m - 1.0) / (m + 1.0);
    const PsyDoubles4 s2 = s * s;
    // 2 / (2 n + 1) from n = 9 down to 0.
    constexpr double kTerms[] = {2.0 / 19, 2.0 / 17, 2.0 / 15, 2.0 / 13, 2.0 / 11,
                                 2.0 / 9,  2.0 / 7,  2.0 / 5,  2.0 / 3,  2.0};
    PsyDoubles4 p = kTerms[0] - PsyDoubles4{};
#pragma GCC unroll 16
    for (int k = 1; k < static_cast<int>(std::size(kTerms)); ++k) p = p * s2 + kTerms[k];
    out = __builtin_convertvector(exponent, PsyDoubles4) + s * p * std::numbers::log2e;
}

}  // namespace tavrisk::mp2
