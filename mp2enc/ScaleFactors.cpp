// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/ScaleFactors.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace tavrisk::mp2 {
namespace {

constexpr double kNothing = 1e-20;

// Pattern by (class of d1, class of d2).
enum Pattern { k123, k122, k133, k113, k111, k222, k333, k444 };
constexpr Pattern kPatterns[5][5] = {
    {k123, k122, k122, k133, k123}, {k113, k111, k111, k444, k113}, {k111, k111, k111, k333, k113},
    {k222, k222, k222, k333, k123}, {k123, k122, k122, k133, k123},
};

// Class of a difference: below -2, -2 to -1, 0, 1 to 2, above 2.
int DifferenceClass(int d) {
    static constexpr int kClassFrom[] = {0, 1, 1, 2, 3, 3, 4};  // from -3 to 3
    constexpr int kWidest = 3;
    return kClassFrom[std::clamp(d, -kWidest, kWidest) + kWidest];
}

// SelectScaleFactors, inlined where the frame's patterns are chosen.
[[gnu::always_inline]] inline int SelectPattern(int& s0, int& s1, int& s2) {
    switch (kPatterns[DifferenceClass(s0 - s1)][DifferenceClass(s1 - s2)]) {
        case k123:
            return 0;
        case k122:
            s2 = s1;
            return 3;
        case k133:
            s1 = s2;
            return 3;
        case k113:
            s1 = s0;
            return 1;
        case k111:
            s1 = s2 = s0;
            return 2;
        case k222:
            s0 = s2 = s1;
            return 2;
        case k333:
            s0 = s1 = s2;
            return 2;
        case k444:
            s0 = std::min(s0, s2);
            s1 = s2 = s0;
            return 2;
    }
    return 0;
}

// Four doubles side by side, read from any double.
typedef double Lanes __attribute__((vector_size(32), aligned(8), may_alias));
typedef long long Mask __attribute__((vector_size(32), aligned(8), may_alias));
constexpr int kLanes = 4;

// The largest magnitude of each subband over a part's granules.
[[gnu::always_inline]] inline void SubbandPeaks(const double (*granules)[kSubbands], double* peak) {
    constexpr Mask kMagnitude = {~(1LL << 63), ~(1LL << 63), ~(1LL << 63), ~(1LL << 63)};
    Lanes largest[kSubbands / kLanes] = {};
    for (int gr = 0; gr < kGranules; ++gr) {
#pragma GCC unroll 8
        for (int v = 0; v < kSubbands / kLanes; ++v) {
            const Lanes value =
                (Lanes)(*reinterpret_cast<const Mask*>(granules[gr] + kLanes * v) & kMagnitude);
            largest[v] = value > largest[v] ? value : largest[v];
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < kSubbands / kLanes; ++v)
        *reinterpret_cast<Lanes*>(peak + kLanes * v) = largest[v];
}

void SubbandPeaksPlain(const double (*granules)[kSubbands], double* peak) {
    SubbandPeaks(granules, peak);
}

// The same built for AVX2 (a maximum is exact: the same values).
[[gnu::target("avx2")]] void SubbandPeaksAvx2(const double (*granules)[kSubbands], double* peak) {
    SubbandPeaks(granules, peak);
}

using PeaksFunction = void (*)(const double (*)[kSubbands], double*);

PeaksFunction PickPeaksFunction() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? SubbandPeaksAvx2 : SubbandPeaksPlain;
}

}  // namespace

void ScaleFactorCalc(SubbandFrame& frame, int firstSlot, int endSlot, int limit) {
    static const PeaksFunction kPeaks = PickPeaksFunction();
    const int coded = std::clamp(limit, 0, kSubbands);
    for (int slot = firstSlot; slot < endSlot; ++slot) {
        for (int part = 0; part < kParts; ++part) {
            alignas(32) double peak[kSubbands];
            kPeaks(frame.samples[slot][part], peak);
            int* index = frame.scaleIndex[slot][part];
            for (int sb = 0; sb < coded; ++sb) index[sb] = ScaleIndexFor(peak[sb]);
            std::fill(index + coded, index + kSubbands, kSmallestScaleIndex);
        }
    }
}

void PickScale(SubbandFrame& frame, int stereo, int sblimit, int endSlot, int sblimitMc) {
    for (int slot = 0; slot < endSlot; ++slot) {
        const int limit = slot < stereo ? sblimit : sblimitMc;
        for (int sb = 0; sb < kSubbands; ++sb) {
            if (sb >= limit) {
                frame.maxScale[slot][sb] = kNothing;
                continue;
            }
            const int smallest =
                std::min({frame.scaleIndex[slot][0][sb], frame.scaleIndex[slot][1][sb],
                          frame.scaleIndex[slot][2][sb]});
            frame.maxScale[slot][sb] = kScaleFactorTable[smallest];
        }
    }
}

int SelectScaleFactors(int& s0, int& s1, int& s2) {
    return SelectPattern(s0, s1, s2);
}

void TransmissionPattern(SubbandFrame& frame) {
    for (int slot = 0; slot < kSlotsWithScfsi; ++slot) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            frame.scfsi[slot][sb] =
                SelectPattern(frame.scaleIndex[slot][0][sb], frame.scaleIndex[slot][1][sb],
                              frame.scaleIndex[slot][2][sb]);
        }
    }
}

}  // namespace tavrisk::mp2
