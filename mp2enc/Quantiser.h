// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mp2enc/EncoderTables.h"
#include "mp2enc/MpegHeader.h"

namespace tavrisk::mp2 {

// 2^(N - 1) for the smallest N with 2^N >= levels, by quantisation class.
inline constexpr int kHalfRange[kQuantClasses] = {
    2, 4, 4, 8, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};

// Layer II quantisation of a sample already divided by its scale factor (|x| < 1):
// y = A x + B, then the code of the N-bit quantiser for `entry`, sign bit set for y >= 0.
inline int QuantiseSample(double x, const AllocationEntry& entry) {
    const double y = kQuantA[entry.quant] * x + kQuantB[entry.quant];
    const int half = kHalfRange[entry.quant];
    if (y >= 0) return static_cast<int>(y * half) | half;
    return static_cast<int>((y + 1.0) * half);
}

// One grouped code word for three samples of a quantiser with `steps` levels.
inline int GroupCodes(int s0, int s1, int s2, int steps) {
    return s0 + steps * s1 + steps * steps * s2;
}

// The quantisers of one channel slot's subbands in a frame, laid out to quantise the
// subbands side by side.
struct SlotQuantisers {
    double a[kSubbands];
    double b[kSubbands];
    double half[kSubbands];
    double scale[kParts][kSubbands];
    long long coded[kSubbands];  // all ones where the subband has samples
};

using SlotSamples = double[kParts][kGranules][kSubbands];
using SlotCodes = int[kParts][kGranules][kSubbands];

// Quantisers from the slot's allocation indices and scale factor indices, with the
// allocation table that codes the slot.
void PrepareQuantisers(const AllocationTable& table, const int* bitAlloc,
                       const int (*scaleIndex)[kSubbands], SlotQuantisers& quantisers);

// QuantiseSample of every sample of a slot's first `subbands` subbands (or a few more)
// divided by its scale factor (the codes of subbands without samples are meaningless);
// whether a sample of a coded subband reached its scale factor.
bool QuantiseSlot(const SlotSamples& samples, const SlotQuantisers& quantisers, int subbands,
                  SlotCodes& codes);

}  // namespace tavrisk::mp2
