// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/Matrixing.h"

#include <algorithm>
#include <cmath>

#include "dsp/KernelChoice.h"

namespace tavrisk::mp2 {
namespace {

constexpr double kInvSqrt2 = 0.7071067811865475;

// A slot's samples in a row: parts, granules, subbands.
constexpr int kSlotSamples = kParts * kGranules * kSubbands;

// Four doubles side by side, read from any double; each lane is computed exactly as its
// scalar expression.
typedef double Lanes __attribute__((vector_size(32), aligned(8), may_alias));
constexpr int kLanes = 4;

[[gnu::always_inline]] inline Lanes& LanesOf(double* p) {
    return *reinterpret_cast<Lanes*>(p);
}

using Slots = double[kChannelSlots][kParts][kGranules][kSubbands];

// The gains of ScaleForMatrix over five slots, four samples at a time.
[[gnu::always_inline]] inline void ScaleSlots(const FilteredSlots& filtered, Slots& out,
                                              const double (&gain)[kSlotRs + 1]) {
    for (int slot = 0; slot <= kSlotRs; ++slot) {
        const double* in = &filtered[slot][0][0][0];
        double* scaled = &out[slot][0][0][0];
        const double g = gain[slot];
        for (int i = 0; i < kSlotSamples; i += kLanes) {
            LanesOf(scaled + i) = *reinterpret_cast<const Lanes*>(in + i) * g;
        }
    }
}

void ScaleSlotsPlain(const FilteredSlots& filtered, Slots& out, const double (&gain)[kSlotRs + 1]) {
    ScaleSlots(filtered, out, gain);
}

// The same built for AVX2: the same multiplies, so the same values.
[[gnu::target("avx2")]] void ScaleSlotsAvx2(const FilteredSlots& filtered, Slots& out,
                                            const double (&gain)[kSlotRs + 1]) {
    ScaleSlots(filtered, out, gain);
}

// The sums of MatrixSubbands, four samples at a time, the limited centre's moves after them
// (in the same order for each sample).
[[gnu::always_inline]] inline void MatrixSlots(Slots& x, int dematrixProcedure, int center) {
    double* lo = &x[kSlotLo][0][0][0];
    double* ro = &x[kSlotRo][0][0][0];
    const double* c = &x[kSlotC][0][0][0];
    const double* ls = &x[kSlotLs][0][0][0];
    const double* rs = &x[kSlotRs][0][0][0];
    double* l = &x[kSlotL][0][0][0];
    double* r = &x[kSlotR][0][0][0];
    // Left as they are, GCC moves the copies to L and R out of this pass into two library
    // copies that read Lo and Ro again; hiding where L and R lie keeps them in this pass.
    asm("" : "+r"(l), "+r"(r));
    // L and R keep the scaled Lo and Ro, taken in the same pass as the sums.
    for (int i = 0; i < kSlotSamples; i += kLanes) {
        const Lanes left = LanesOf(lo + i);
        const Lanes right = LanesOf(ro + i);
        LanesOf(l + i) = left;
        LanesOf(r + i) = right;
        const Lanes cv = *reinterpret_cast<const Lanes*>(c + i);
        const Lanes lsv = *reinterpret_cast<const Lanes*>(ls + i);
        const Lanes rsv = *reinterpret_cast<const Lanes*>(rs + i);
        if (dematrixProcedure == kProcedureSurroundDifference) {
            const Lanes m = (lsv + rsv) / 2.0;
            LanesOf(lo + i) = left + cv - m;
            LanesOf(ro + i) = right + cv + m;
        } else if (dematrixProcedure != kProcedureNoMatrix) {
            LanesOf(lo + i) = left + cv + lsv;
            LanesOf(ro + i) = right + cv + rsv;
        }
    }
    if (center != kLimitedCentre) return;
    for (int part = 0; part < kParts; ++part) {
        for (int gr = 0; gr < kGranules; ++gr) {
            for (int sb = kLimitedCentreFirstSubband; sb < kSubbands; ++sb) {
                const double cs = x[kSlotC][part][gr][sb];
                x[kSlotC][part][gr][sb] = 0.0;
                if (dematrixProcedure == kProcedureNoMatrix) {
                    x[kSlotLo][part][gr][sb] += cs * kInvSqrt2;
                    x[kSlotRo][part][gr][sb] += cs * kInvSqrt2;
                } else {
                    x[kSlotL][part][gr][sb] += cs;
                    x[kSlotR][part][gr][sb] += cs;
                }
            }
        }
    }
}

void MatrixSlotsPlain(Slots& x, int dematrixProcedure, int center) {
    MatrixSlots(x, dematrixProcedure, center);
}

// The same built for AVX2: the same additions and halvings, so the same values.
[[gnu::target("avx2")]] void MatrixSlotsAvx2(Slots& x, int dematrixProcedure, int center) {
    MatrixSlots(x, dematrixProcedure, center);
}

}  // namespace

MatrixCoefficients TimeDomainCoefficients(int dematrixProcedure) {
    switch (dematrixProcedure) {
        case 1:
            return {kInvSqrt2, 0.5, 0.45308183932197284321};
        case kProcedureNoMatrix:
            return {1.0, 1.0, 1.0};
        default:
            return {kInvSqrt2, kInvSqrt2, 0.41421356237309504882};
    }
}

MatrixCoefficients SubbandCoefficients(int dematrixProcedure) {
    const double invSqrt2 = 1.0 / std::sqrt(2.0);
    switch (dematrixProcedure) {
        case 1:
            return {invSqrt2, 0.5, 1.0 / (1.5 + 0.5 * std::sqrt(2.0))};
        case kProcedureNoMatrix:
            return {1.0, 1.0, 1.0};
        default:
            return {invSqrt2, invSqrt2, 1.0 / (1.0 + std::sqrt(2.0))};
    }
}

void ScaleForMatrix(SubbandFrame& frame, int dematrixProcedure) {
    ScaleForMatrix(*reinterpret_cast<const FilteredSlots*>(&frame.samples[kSlotLo]), frame,
                   dematrixProcedure);
}

void ScaleForMatrix(const FilteredSlots& filtered, SubbandFrame& frame, int dematrixProcedure) {
    static const bool kAvx2 = HasAvx2();
    const MatrixCoefficients gains = SubbandCoefficients(dematrixProcedure);
    const double n = gains.normalisation;
    const double centreGain = n * gains.centre;
    const double surroundGain = n * gains.surround;
    const double gain[kSlotRs + 1] = {n, n, centreGain, surroundGain, surroundGain};
    (kAvx2 ? ScaleSlotsAvx2 : ScaleSlotsPlain)(filtered, frame.samples, gain);
}

void MatrixSubbands(SubbandFrame& frame, int dematrixProcedure, int center) {
    static const bool kAvx2 = HasAvx2();
    (kAvx2 ? MatrixSlotsAvx2 : MatrixSlotsPlain)(frame.samples, dematrixProcedure, center);
}

}  // namespace tavrisk::mp2
