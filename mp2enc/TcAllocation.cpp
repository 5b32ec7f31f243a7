// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/TcAllocation.h"

#include <cmath>

#include "mp2enc/ChannelLayout.h"

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
constexpr int kFirstLimitedCentreGroup = 10;  // of subband 12 on
constexpr int kFirstExtensionPosition = 2;

int RandomTcAlloc(int group, int center, EncoderRandom& random) {
    if (center == kLimitedCentre && group >= kFirstLimitedCentreGroup) {
        const int r = RandomBelow(random, kLimitedCentreChoices);
        return r > 0 ? r + 2 : 0;
    }
    return RandomBelow(random, kTcAllocValues);
}

// What each tcAlloc of a configuration other than 3/2 transmits in the extension's
// positions (one position for 3/0 and 2/1), and the slots a decoder then derives from Lo and
// from Ro. A mono surround is in slot LS.
constexpr int kNone = -1;
struct OtherConfigurationTc {
    int config;
    int values;
    std::array<std::array<int, 2>, 6> carried;
    std::array<std::array<int, 2>, 6> derived;
};
constexpr OtherConfigurationTc kOtherConfigurations[] = {
    {kConfig31,
     6,
     {{{kSlotC, kSlotLs},
       {kSlotL, kSlotLs},
       {kSlotR, kSlotLs},
       {kSlotC, kSlotL},
       {kSlotC, kSlotR},
       {kSlotL, kSlotR}}},
     {{{kSlotL, kSlotR},
       {kSlotC, kSlotR},
       {kSlotL, kSlotC},
       {kSlotLs, kSlotR},
       {kSlotL, kSlotLs},
       {kSlotC, kSlotLs}}}},
    {kConfig30,
     3,
     {{{kSlotC, kNone}, {kSlotL, kNone}, {kSlotR, kNone}}},
     {{{kSlotL, kSlotR}, {kSlotC, kSlotR}, {kSlotL, kSlotC}}}},
    {kConfig22,
     4,
     {{{kSlotLs, kSlotRs}, {kSlotL, kSlotRs}, {kSlotLs, kSlotR}, {kSlotL, kSlotR}}},
     {{{kSlotL, kSlotR}, {kSlotLs, kSlotR}, {kSlotL, kSlotRs}, {kSlotLs, kSlotRs}}}},
    {kConfig21,
     3,
     {{{kSlotLs, kNone}, {kSlotL, kNone}, {kSlotR, kNone}}},
     {{{kSlotL, kSlotR}, {kSlotLs, kSlotR}, {kSlotL, kSlotLs}}}},
};

const OtherConfigurationTc* OtherConfiguration(int config) {
    for (const OtherConfigurationTc& c : kOtherConfigurations) {
        if (c.config == config) return &c;
    }
    return nullptr;
}

// The adaptive choice for configurations other than 3/2: the channels a decoder derives
// take the noise of the subtraction, so the loudest channels, which mask it, are derived.
int AdaptiveOtherTcAlloc(const OtherConfigurationTc& c, const double (*maxScale)[kSubbands],
                         int group, int procedure) {
    int best = 0;
    double bestLevel = 0.0;
    for (int t = 0; t < c.values; ++t) {
        if (!OtherConfigurationDematrixable(c.config, t, procedure)) continue;
        const double level = GroupLevel(maxScale, c.derived[t][0], group) +
                             GroupLevel(maxScale, c.derived[t][1], group);
        if (t == 0 || level > bestLevel) {
            best = t;
            bestLevel = level;
        }
    }
    return best;
}

}  // namespace

int TcAllocValues(int config) {
    if (config == kConfig32) return kTcAllocValues;
    const OtherConfigurationTc* c = OtherConfiguration(config);
    return c ? c->values : 1;
}

bool OtherConfigurationDematrixable(int config, int tcAlloc, int dematrixProcedure) {
    if (dematrixProcedure == kProcedureNoMatrix) return tcAlloc == 0;
    const bool surroundDifference = dematrixProcedure == kProcedureSurroundDifference;
    // 3/1 with L and R sent: only the difference of C and S tells them apart.
    if (config == kConfig31 && tcAlloc == 5) return surroundDifference;
    // 2/2 with L and R sent: the surround difference leaves only the surrounds' mean.
    if (config == kConfig22 && tcAlloc == 3) return !surroundDifference;
    return true;
}

int DerivedSlot(int config, int tcAlloc, int compatible) {
    const OtherConfigurationTc* c = OtherConfiguration(config);
    return c ? c->derived[tcAlloc][compatible] : compatible;
}

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
    if (config == kConfig32) {
        if (tcAlloc < 0 || tcAlloc >= kTcAllocValues) return position;
        return kTcSlots[tcAlloc][position];
    }
    const OtherConfigurationTc* c = OtherConfiguration(config);
    if (c == nullptr || position < 2 || tcAlloc < 0 || tcAlloc >= c->values) return position;
    return c->carried[tcAlloc][position - 2];
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
                   EncoderRandom& random, int config) {
    const int procedure = header.dematrixProcedure;
    const OtherConfigurationTc* other = config == kConfig32 ? nullptr : OtherConfiguration(config);
    for (int g = 0; g < kSubbandGroups; ++g) {
        int value;
        if (config != kConfig32) {
            value = other == nullptr || procedure == kProcedureNoMatrix ? 0
                    : choice == kTcAllocRandom ? RandomBelow(random, other->values)
                    : choice == kTcAllocAdaptive
                        ? AdaptiveOtherTcAlloc(*other, maxScale, g, procedure)
                        : choice;
            // The first allocation sends the extension's own channels: always recoverable.
            if (!OtherConfigurationDematrixable(config, value, procedure)) value = 0;
        } else if (procedure == kProcedureNoMatrix) {
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
        if (config == kConfig32 && !TcAllocDematrixable(value, procedure)) {
            value = kCentreLeftRightSurround;
        }
        // Above its limit a limited centre is not carried: its position must be its own.
        if (header.center == kLimitedCentre && g >= kFirstLimitedCentreGroup &&
            TransmittedSlot(config, value, kFirstExtensionPosition) != kSlotC) {
            value = 0;
        }
        header.tcAlloc[g] = value;
    }
    header.tcSbgrSelect = 1;
    header.tcAllocation = header.tcAlloc[0];
    for (int g = 1; g < kSubbandGroups; ++g) {
        if (header.tcAlloc[g] != header.tcAlloc[0]) header.tcSbgrSelect = 0;
    }
}

}  // namespace tavrisk::mp2
