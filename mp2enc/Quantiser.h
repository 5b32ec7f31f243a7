#pragma once

#include "mp2enc/EncoderTables.h"

namespace tavrisk::mp2 {

// Layer II quantisation of a sample already divided by its scale factor (|x| < 1):
// y = A x + B, then the code of the N-bit quantiser for `entry`, sign bit set for y >= 0.
inline int quantiseSample(double x, const AllocationEntry& entry) {
    const double y = kQuantA[entry.quant] * x + kQuantB[entry.quant];
    int n = 0;
    while ((1 << n) < entry.steps) ++n;
    const int half = 1 << (n - 1);
    if (y >= 0) return static_cast<int>(y * half) | half;
    return static_cast<int>((y + 1.0) * half);
}

// One grouped code word for three samples of a quantiser with `steps` levels.
inline int groupCodes(int s0, int s1, int s2, int steps) {
    return s0 + steps * s1 + steps * steps * s2;
}

}  // namespace tavrisk::mp2
