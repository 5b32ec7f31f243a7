// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/ScaleFactors.h"

#include <algorithm>
#include <cmath>

namespace tavrisk::mp2 {
namespace {

constexpr double kNothing = 1e-20;

// Pattern by (class of d1, class of d2).
enum Pattern { k123, k122, k133, k113, k111, k222, k333, k444 };
constexpr Pattern kPatterns[5][5] = {
    {k123, k122, k122, k133, k123}, {k113, k111, k111, k444, k113}, {k111, k111, k111, k333, k113},
    {k222, k222, k222, k333, k123}, {k123, k122, k122, k133, k123},
};

int DifferenceClass(int d) {
    if (d < -2) return 0;
    if (d < 0) return 1;
    if (d == 0) return 2;
    if (d <= 2) return 3;
    return 4;
}

}  // namespace

int ScaleIndexFor(double peak) {
    // The table falls with the index, so the indices j with peak < table[j] form a prefix
    // 0..J: find J by bisection (0 when the prefix is empty).
    int low = 0;                         // first index not yet known to qualify
    int high = kSmallestScaleIndex + 1;  // first index known not to qualify
    while (low < high) {
        const int mid = (low + high) / 2;
        if (peak < kScaleFactorTable[mid]) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low > 0 ? low - 1 : 0;
}

void ScaleFactorCalc(SubbandFrame& frame, int firstSlot, int endSlot, int limit) {
    const int coded = std::clamp(limit, 0, kSubbands);
    for (int slot = firstSlot; slot < endSlot; ++slot) {
        for (int part = 0; part < kParts; ++part) {
            // Each subband's peak over the granules, the subbands side by side (the largest
            // magnitude is the same in any order).
            double peak[kSubbands] = {};
            for (const auto& granule : frame.samples[slot][part]) {
                for (int sb = 0; sb < coded; ++sb)
                    peak[sb] = std::max(peak[sb], std::fabs(granule[sb]));
            }
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

void TransmissionPattern(SubbandFrame& frame) {
    for (int slot = 0; slot < kSlotsWithScfsi; ++slot) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            frame.scfsi[slot][sb] =
                SelectScaleFactors(frame.scaleIndex[slot][0][sb], frame.scaleIndex[slot][1][sb],
                                   frame.scaleIndex[slot][2][sb]);
        }
    }
}

}  // namespace tavrisk::mp2
