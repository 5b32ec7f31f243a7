// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>
#include <numbers>

namespace tavrisk::mp2 {

// Vectors of doubles or floats, for code of the psychoacoustic model compiled both plainly and for
// AVX2: every lane takes the same operations in the same order in both, so the values never
// depend on the processor. Vectors go by reference: by value, 32-byte vectors would change the
// calling convention between the two.
typedef double PsyDoubles4 __attribute__((vector_size(32)));
typedef std::int64_t PsyInts4 __attribute__((vector_size(32)));
typedef std::uint64_t PsyBits4 __attribute__((vector_size(32)));
// Eight floats at once, where single precision is ample.
typedef float PsyFloats8 __attribute__((vector_size(32)));
typedef std::int32_t PsyInts8 __attribute__((vector_size(32)));
typedef std::uint32_t PsyBits8 __attribute__((vector_size(32)));

// Unaligned reads and writes of any vector.
template <typename Vector, typename T>
[[gnu::always_inline]] inline void ReadLanes(Vector& v, const T* p) {
    std::memcpy(&v, p, sizeof v);
}

template <typename Vector, typename T>
[[gnu::always_inline]] inline void WriteLanes(T* p, const Vector& v) {
    std::memcpy(p, &v, sizeof v);
}

// 2^v to a relative 4e-7 (a few units in a float's last place), v taken within [-126, 126]:
// a series of e^f to f^7 around the nearest integer n (|f| <= ln 2 / 2), times 2^n. Adding
// 1.5 * 2^23 rounds v to n and leaves n in the low bits, from which the power of two is built.
[[gnu::always_inline]] inline void Exp2Lanes(const PsyFloats8& v, PsyFloats8& out) {
    constexpr float kRounder = 12582912.0f;
    constexpr float kLimit = 126.0f;
    PsyFloats8 w = v < -kLimit ? -kLimit - PsyFloats8{} : v;
    w = w > kLimit ? kLimit - PsyFloats8{} : w;
    const PsyFloats8 shifted = w + kRounder;
    const PsyFloats8 f = (w - (shifted - kRounder)) * std::numbers::ln2_v<float>;
    // 1 / k! from k = 7 down to 0.
    constexpr float kTerms[] = {1.0f / 5040, 1.0f / 720, 1.0f / 120, 1.0f / 24,
                                1.0f / 6,    1.0f / 2,   1.0f,       1.0f};
    PsyFloats8 p = kTerms[0] - PsyFloats8{};
#pragma GCC unroll 8
    for (int k = 1; k < static_cast<int>(std::size(kTerms)); ++k) p = p * f + kTerms[k];
    const PsyBits8 scale = ((PsyBits8)shifted + 127) << 23;
    out = p * (PsyFloats8)scale;
}

// log2 of positive normal floats to 3e-7 + 1.2e-7 |log2 y|: y = 2^e m, m in
// [sqrt(1/2), sqrt(2)), and ln m = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172, by its
// series to s^9.
[[gnu::always_inline]] inline void Log2Lanes(const PsyFloats8& y, PsyFloats8& out) {
    constexpr std::uint32_t kMantissaMask = (std::uint32_t{1} << 23) - 1;
    constexpr std::uint32_t kOneBits = std::uint32_t{127} << 23;
    const PsyBits8 bits = (PsyBits8)y;
    const PsyFloats8 unit = (PsyFloats8)((bits & kMantissaMask) | kOneBits);
    const PsyInts8 above = unit > std::numbers::sqrt2_v<float>;  // -1 where m is halved
    const PsyFloats8 m = above ? unit * 0.5f : unit;
    const PsyInts8 exponent = (PsyInts8)(bits >> 23) - 127 - above;
    const PsyFloats8 s = (m - 1.0f) / (m + 1.0f);
    const PsyFloats8 s2 = s * s;
    // 2 / (2 n + 1) from n = 4 down to 0.
    constexpr float kTerms[] = {2.0f / 9, 2.0f / 7, 2.0f / 5, 2.0f / 3, 2.0f};
    PsyFloats8 p = kTerms[0] - PsyFloats8{};
#pragma GCC unroll 8
    for (int k = 1; k < static_cast<int>(std::size(kTerms)); ++k) p = p * s2 + kTerms[k];
    out = __builtin_convertvector(exponent, PsyFloats8) + s * p * std::numbers::log2e_v<float>;
}

}  // namespace tavrisk::mp2
