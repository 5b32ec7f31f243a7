// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/TcAllocation.h"

#include <cmath>

namespace tavrisk::mp2 {
namespace {

// First and last subband of each group as the allocation sees them (group 11 ends at 26).
constexpr int kGroupFirst[kSubbandGroups] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 16};
constexpr int kGroupLast[kSubbandGroups] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 15, 26};

double GroupLevel(const double (*maxScale)[kSubbands], int slot, int group) {
    double sum = 0.0;
    for (int sb = kGroupFirst[group]; sb <= kGroupLast[group]; ++sb) sum += maxScale[slot][sb];
    const double mean = group < 8 ? sum : sum / (kGroupLast[group] - kGroupFirst[group] + 1);
    return 20.0 * std::log10(mean);
}

// With a limited centre the upper groups draw from 0, 3, 4 and 5.
constexpr int kLimitedCentreChoices = 4;

int RandomTcAlloc(int group, int center, EncoderRandom& random) {
    if (center == kLimitedCentre && group >= 10) {
        const int r = RandomBelow(random, kLimitedCentreChoices);
        return r > 0 ? r + 2 : 0;
    }
    return RandomBelow(random, kTcAllocValues);
}

}  // namespace

const std::array<std::array<int, kTransmissionPositions>, kTcAllocValues> kTcSlots = {{
    {0, 1, 2, 3, 4},
    {0, 1, 5, 3, 4},
    {0, 1, 6, 3, 4},
    {0, 1, 2, 5, 4},
    {0, 1, 2, 3, 6},
    {0, 1, 2, 5, 6},
    {0, 1, 6, 5, 4},
    {0, 1, 5, 3, 6},
}};

int TcAllocWidth(int config) {
    switch (config) {
        case 210:
        case 220:
        case 300:
        case 302:
            return 2;
        case 310:
        case kConfig32:
            return 3;
        default:
            return 0;
    }
}

int TransmittedSlot(int config, int tcAlloc, int position) {
    if (config != kConfig32 || tcAlloc < 0 || tcAlloc >= kTcAllocValues) return position;
    return kTcSlots[tcAlloc][position];
}

bool TcAllocDematrixable(int tcAlloc, int dematrixProcedure) {
    // Procedure 2 puts only the surround mean into Lo and Ro: with C, L and R sent, the
    // two surrounds cannot be told apart.
    return !(dematrixProcedure == kProcedureSurroundDifference && tcAlloc == kCentreAndBothFronts);
}

int AdaptiveTcAlloc(double c, double ls, double rs, double l, double r) {
    int f;
    if (c - l > 0) {
        f = (r < l || (r == l && l < ls)) ? 6 : 5;
    } else {
        f = c - r > 0 ? 6 : 2;
    }
    if (f == 2) {
        if (ls - l > 0) return r >= rs ? 3 : 5;
        return rs - r > 0 ? 4 : 0;
    }
    if (f == 5) return r >= rs ? 1 : 7;
    return l >= ls ? 2 : 6;
}

void ChooseTcAlloc(MpegHeader& header, const double (*maxScale)[kSubbands], int choice,
                   EncoderRandom& random) {
    const int procedure = header.dematrixProcedure;
    for (int g = 0; g < kSubbandGroups; ++g) {
        int value;
        if (procedure == kProcedureNoMatrix) {
            value = 0;
        } else if (choice == kTcAllocRandom) {
            value = RandomTcAlloc(g, header.center, random);
        } else if (choice == kTcAllocAdaptive) {
            value =
                AdaptiveTcAlloc(GroupLevel(maxScale, kSlotC, g), GroupLevel(maxScale, kSlotLs, g),
                                GroupLevel(maxScale, kSlotRs, g), GroupLevel(maxScale, kSlotL, g),
                                GroupLevel(maxScale, kSlotR, g));
        } else {
            value = choice;
        }
        if (!TcAllocDematrixable(value, procedure)) value = kCentreLeftRightSurround;
        header.tcAlloc[g] = value;
    }
    header.tcSbgrSelect = 1;
    header.tcAllocation = header.tcAlloc[0];
    for (int g = 1; g < kSubbandGroups; ++g) {
        if (header.tcAlloc[g] != header.tcAlloc[0]) header.tcSbgrSelect = 0;
    }
}

}  // namespace tavrisk::mp2
