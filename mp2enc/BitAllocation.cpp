// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/BitAllocation.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "dsp/KernelChoice.h"
#include "mp2enc/ChannelLayout.h"
#include "mp2enc/ScaleFactors.h"
#include "mp2enc/TcAllocation.h"

namespace tavrisk::mp2 {
namespace {

constexpr int kUntouched = 0;
constexpr int kAllocated = 1;
constexpr int kClosed = 2;
constexpr int kGranuleTriplets = 12;  // code words per subband and frame: 3 parts x 4
constexpr int kScfsiBits = 2;
constexpr int kScaleFactorBits = 6;
constexpr int kMcHeaderBits = 35;
constexpr int kLimitedCentreSavedBits = 41;
constexpr double kNoCandidate = 999999.0;

// What the search sees of one channel-subband: closed ones and values from kNoCandidate up
// are never chosen.
double CandidateValue(int used, double maskToNoise) {
    if (used == kClosed || !(maskToNoise < kNoCandidate)) return CandidateSearch::kNone;
    return maskToNoise;
}

// Slot a decoder derives from Lo (row 0) and Ro (row 1) under each tcAlloc.
constexpr int kPartnerSlot[2][kTcAllocValues] = {{5, 2, 5, 3, 5, 3, 3, 2},
                                                 {6, 6, 2, 6, 4, 4, 2, 4}};

// Smallest allocation index whose SNR covers the SMR with margin minMnr.
int NeededIndex(const AllocationRowEntries& row, double smr, double minMnr) {
    const int top = (1 << row[0].bits) - 2;
    for (int i = 0; i < top; ++i) {
        if (AllocationSnr(row, i) - smr >= minMnr) return i;
    }
    return top;
}

// Lo and Ro differing by less than this share of their scale factor quantise alike at every
// step: below the finest step.
constexpr double kSameSignal = 1.0 / 65536.0;

// Whether Lo and Ro carry the same signal in subband sb (as with the centre alone). They
// must then get the same allocation: a decoder subtracts one from the other (R = Ro - C with
// C from Lo, or the reverse), and any difference of their coding noise would be heard there.
bool SameSignalInLoRo(const SubbandFrame& frame, int sb) {
    for (int part = 0; part < kParts; ++part) {
        if (frame.scaleIndex[kSlotLo][part][sb] != frame.scaleIndex[kSlotRo][part][sb]) {
            return false;
        }
        const double tolerance =
            kSameSignal * kScaleFactorTable[frame.scaleIndex[kSlotLo][part][sb]];
        for (int gr = 0; gr < kGranules; ++gr) {
            const double lo = frame.samples[kSlotLo][part][gr][sb];
            const double ro = frame.samples[kSlotRo][part][gr][sb];
            if (std::fabs(lo - ro) > tolerance) return false;
        }
    }
    return true;
}

}  // namespace

int PickTable(int br, int f) {
    if (f == 48) {
        if (br > 55) return 0;
        if (br < 49) return 2;
        return 3;
    }
    if (br >= 56 && br <= 80) return 0;
    if (br >= 96) return 1;
    if (f == 32 || br > 48) return 3;
    return 2;
}

int PickTableMc(int f) {
    return f == 48 ? 0 : 1;
}

double AllocationSnr(const AllocationRowEntries& row, int index) {
    return index == 0 ? 0.0 : kSnrTable[row[index].quant + 1];
}

int AllocationFieldBits(const FrameParams& params, const MpegHeader& header) {
    int bits = 0;
    for (int sb = 0; sb < params.sblimit; ++sb) bits += params.stereo * (*params.alloc)[sb][0].bits;
    for (int sb = 0; sb < params.sblimitMc; ++sb) {
        bits += (params.stereoMc + params.stereoAug) * (*params.allocMc)[sb][0].bits;
    }
    if (header.center == kLimitedCentre) bits -= kLimitedCentreSavedBits;
    return bits;
}

int MultichannelSideBits(const MpegHeader& header, int config) {
    if (config == kConfig10 || config == kConfig20) return 0;  // no extension
    const int w = TcAllocWidth(config);
    return kMcHeaderBits + (header.tcSbgrSelect ? w : kSubbandGroups * w);
}

void BitAllocator::AdjustSignalToMask(SubbandFrame& frame, const FrameParams& params,
                                      const MpegHeader& header) {
    if (!params.multichannel) return;
    for (int sb = 0; sb < kSubbands; ++sb) {
        const int t = header.tcAlloc[kSubbandGroup[sb]];
        const AllocationRowEntries& row = (*params.alloc)[sb];
        for (int c = 0; c < 2; ++c) {
            const int d =
                params.config == kConfig32 ? kPartnerSlot[c][t] : DerivedSlot(params.config, t, c);
            const int i = NeededIndex(row, frame.signalToMask[c][sb], params.minMnr);
            const int j = NeededIndex(row, frame.signalToMask[d][sb], params.minMnr);
            if (i < j) frame.signalToMask[c][sb] = frame.signalToMask[d][sb];
        }
    }
}

const BitAllocator::RowSteps* BitAllocator::StepsOf(int which, const AllocationTable& table) {
    if (stepsTable[which] != &table) {
        stepsTable[which] = &table;
        for (int sb = 0; sb < kSubbands; ++sb) {
            const AllocationRowEntries& row = table[sb];
            RowSteps& steps = rowSteps[which][sb];
            steps.last = (1 << row[0].bits) - 1;
            for (int a = 0; a < kAllocationIndices; ++a) {
                steps.snr[a] = AllocationSnr(row, a);
                if (a + 1 == kAllocationIndices) continue;
                steps.bits[a] = kGranuleTriplets * row[a + 1].group * row[a + 1].bits;
                if (a > 0) steps.bits[a] -= kGranuleTriplets * row[a].group * row[a].bits;
            }
        }
    }
    return rowSteps[which];
}

// Raises the candidate of the smallest mask-to-noise ratio by one step while bits remain;
// a step that does not fit closes its candidates. Returns the bits used.
template <bool kInLanes>
[[gnu::always_inline]] inline int BitAllocator::Steps(int available, int verbosity,
                                                      EncoderLog& messages) {
    int usedBits = 0;
    int chosen = kInLanes ? candidates.BestInLanes() : candidates.Best();
    while (chosen >= 0) {
        Candidate& c = candidate[chosen];
        const int increment = c.increment;
        const bool fits = increment + usedBits < available;
        int state = kClosed;
        double value = CandidateSearch::kNone;
        if (fits) {
            usedBits += increment;
            const int a = ++c.allocation;
            *c.out = a;
            if (c.partnerOut) *c.partnerOut = a;
            state = a >= c.steps->last ? kClosed : kAllocated;
            value = CandidateValue(state, c.steps->snr[a] - c.signalToMask);
            if (state == kAllocated) c.increment = c.width * c.steps->bits[a];
        }
        if (verbosity > 2) {
            for (int slot : {c.slot, c.partnerSlot}) {
                if (slot < 0) continue;
                messages.Report(FormatText("ch: %02d sb: %02d used: %d ad: %05d used: %05d\n", slot,
                                           c.subband, state, available, usedBits));
            }
        }
        chosen =
            kInLanes ? candidates.ReplaceInLanes(chosen, value) : candidates.Replace(chosen, value);
    }
    return usedBits;
}

int BitAllocator::StepsPlain(int available, int verbosity, EncoderLog& messages) {
    return Steps<false>(available, verbosity, messages);
}

// The same built for AVX2: the search compares and the steps add integers, so the
// allocation is the same.
[[gnu::target("avx2")]] int BitAllocator::StepsAvx2(int available, int verbosity,
                                                    EncoderLog& messages) {
    return Steps<true>(available, verbosity, messages);
}

int BitAllocator::Allocate(SubbandFrame& frame, const FrameParams& params, const MpegHeader& header,
                           int crcBits, long& adb, int verbosity, EncoderLog& messages) {
    // A frame without extension keeps back its header alone.
    const int reserved = params.multichannel ? kReservedBits : kHeaderBits;
    const int available = static_cast<int>(adb) - crcBits - 8 * header.nAdBytes - reserved -
                          AllocationFieldBits(params, header) -
                          MultichannelSideBits(header, params.config);
    // Lo and Ro with the same signal step together, from the larger of their SMRs.
    std::array<bool, kSubbands> paired{};
    for (int sb = 0; sb < params.sblimit && params.stereo == 2; ++sb) {
        paired[sb] = SameSignalInLoRo(frame, sb);
        if (!paired[sb]) continue;
        const double smr =
            std::max(frame.signalToMask[kSlotLo][sb], frame.signalToMask[kSlotRo][sb]);
        frame.signalToMask[kSlotLo][sb] = frame.signalToMask[kSlotRo][sb] = smr;
    }
    const RowSteps* stepsCompatible = StepsOf(0, *params.alloc);
    const RowSteps* stepsMc = params.allocMc ? StepsOf(1, *params.allocMc) : nullptr;
    const int positions = params.stereo + params.stereoMc + params.stereoAug;
    // The extension never carries subbands whose compatible samples are not sent.
    const int mcLimit = params.sblimitMc < params.sblimit ? params.sblimitMc : params.sblimit;
    // Slot of each position per subband group.
    std::array<std::array<int, kTransmissionPositions>, kSubbandGroups> groupSlots;
    for (int g = 0; g < kSubbandGroups; ++g) {
        for (int k = 0; k < positions; ++k)
            groupSlots[g][k] = TransmittedSlot(params.config, header.tcAlloc[g], k);
    }
    // The first step of a slot also sends its scale factors and their selection.
    auto firstStepBits = [&frame](const RowSteps* steps, int slot, int sb) {
        return steps->bits[0] + kScfsiBits +
               kScaleFactorBits * kScaleFactorsSent[frame.scfsi[slot][sb]];
    };
    // Candidates in search order: subband, then transmission position. What a step needs
    // of a candidate is gathered here once.
    std::array<double, kCandidates> candidateValue;
    const int count = kSubbands * positions;
    for (int sb = 0; sb < kSubbands; ++sb) {
        const std::array<int, kTransmissionPositions>& slots = groupSlots[kSubbandGroup[sb]];
        for (int k = 0; k < positions; ++k) {
            const int index = sb * positions + k;
            const int s = slots[k];
            Candidate& c = candidate[index];
            c.slot = s;
            c.subband = sb;
            c.allocation = 0;
            c.steps = s < params.stereo ? &stepsCompatible[sb] : &stepsMc[sb];
            c.signalToMask = frame.signalToMask[s][sb];
            c.increment = firstStepBits(c.steps, s, sb);
            c.width = 1;
            c.out = &frame.bitAlloc[s][sb];
            c.partnerOut = nullptr;
            c.partnerSlot = -1;
            // Lo and Ro of a paired subband (positions 0 and 1) step together as Lo's
            // candidate, which always comes first: their values are equal throughout.
            if (s < params.stereo && paired[sb]) {
                if (k == 0) {
                    const int ro = slots[1];
                    c.width = 2;
                    c.partnerSlot = ro;
                    c.partnerOut = &frame.bitAlloc[ro][sb];
                    c.increment += firstStepBits(c.steps, ro, sb);
                } else {
                    candidateValue[index] = CandidateSearch::kNone;
                    continue;
                }
            }
            candidateValue[index] = CandidateSearch::kNone;
            if (sb >= (k < params.stereo ? params.sblimit : mcLimit)) continue;
            if (header.center == kLimitedCentre && s == kSlotC &&
                sb >= kLimitedCentreFirstSubband) {
                continue;
            }
            candidateValue[index] = CandidateValue(kUntouched, 0.0 - c.signalToMask);
        }
    }
    candidates.Fill(candidateValue.data(), count);
    for (int s = 0; s < kSlotsWithScfsi; ++s) std::fill_n(frame.bitAlloc[s], kSubbands, 0);
    static const bool avx2 = HasAvx2();
    const int usedBits = avx2 ? StepsAvx2(available, verbosity, messages)
                              : StepsPlain(available, verbosity, messages);
    adb = available - usedBits;
    return available;
}

}  // namespace tavrisk::mp2
