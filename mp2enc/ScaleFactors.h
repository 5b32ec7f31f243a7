// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "mp2enc/SubbandFrame.h"

namespace tavrisk::mp2 {

namespace scale_index {

// The bits of a double's exponent and mantissa.
inline constexpr int kMantissaBits = 52;
inline constexpr std::uint64_t kMantissaMask = (std::uint64_t{1} << kMantissaBits) - 1;
inline constexpr int kExponentMask = 0x7ff;
inline constexpr int kExponentBias = 1023;
// The mantissas past which the search starts one index lower, then two.
inline constexpr std::uint64_t kPastOne = std::bit_cast<std::uint64_t>(1.001) & kMantissaMask;
inline constexpr std::uint64_t kPastThird = std::bit_cast<std::uint64_t>(1.26) & kMantissaMask;

}  // namespace scale_index

// Index of the smallest scale factor strictly above `peak` (searched from 62 down);
// 0 when the peak reaches 2.0.
inline int ScaleIndexFor(double peak) {
    // The table falls by a third of an octave per index, so the indices j with
    // peak < table[j] form a prefix 0..J (0 when it is empty). With peak = m 2^e, m in [1, 2),
    // table[4 - 3e] ~ 2^(e - 1/3) is below the peak, and so are table[3 - 3e] ~ 2^e once m
    // passes 1 and table[2 - 3e] ~ 2^(e + 1/3) once m passes 2^(1/3) (each threshold taken a
    // little higher, beyond the table's rounding): J is at most the index before that one,
    // and found from there in two steps down at most.
    using namespace scale_index;
    if (peak < kScaleFactorTable[kSmallestScaleIndex]) return kSmallestScaleIndex;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(peak);
    const std::uint64_t mantissa = bits & kMantissaMask;
    const int exponent = static_cast<int>((bits >> kMantissaBits) & kExponentMask) - kExponentBias;
    const int start = 3 - 3 * exponent - (mantissa >= kPastOne) - (mantissa >= kPastThird);
    int j = std::clamp(start, 0, kSmallestScaleIndex);
    while (j > 0 && !(peak < kScaleFactorTable[j])) --j;
    return j;
}

// Scale factor index of every part and subband below `limit` for slots [first, end);
// subbands from the limit up get 62.
void ScaleFactorCalc(SubbandFrame& frame, int firstSlot, int endSlot, int limit);

// Maximum scale per subband: the scale factor of the smallest index of the three parts
// below the slot's limit, 1e-20 above it.
void PickScale(SubbandFrame& frame, int stereo, int sblimit, int endSlot, int sblimitMc);

// Scale-factor selection information of the first 12 slots; merges the indices that
// are not transmitted.
void TransmissionPattern(SubbandFrame& frame);

// Number of scale factors sent for each scfsi value.
constexpr int kScaleFactorsSent[4] = {3, 2, 1, 2};

// Applies the selection pattern to one triplet of indices and returns the scfsi.
int SelectScaleFactors(int& s0, int& s1, int& s2);

}  // namespace tavrisk::mp2
