// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/Matrixing.h"

#include <algorithm>
#include <cmath>

namespace tavrisk::mp2 {
namespace {

constexpr double kInvSqrt2 = 0.7071067811865475;

template <typename Fn>
void ForEachSample(Fn&& fn) {
    for (int part = 0; part < kParts; ++part) {
        for (int gr = 0; gr < kGranules; ++gr) {
            for (int sb = 0; sb < kSubbands; ++sb) fn(part, gr, sb);
        }
    }
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

PsySlotRows PsyMatrixRows(const InputRows& input, int dematrixProcedure,
                          double (*loRo)[kFrameSamples]) {
    static constexpr double kSilence[kFrameSamples] = {};
    const auto [b, s, n] = TimeDomainCoefficients(dematrixProcedure);
    const double* l = input.rows[0];
    const double* r = input.rows[1];
    const double* c = input.rows[2];
    const double* ls = input.rows[4];
    const double* rs = input.rows[5];
    PsySlotRows slots;
    slots.fill(kSilence);
    slots[kSlotC] = c;
    slots[kSlotLs] = ls;
    slots[kSlotRs] = rs;
    slots[kSlotL] = l;
    slots[kSlotR] = r;
    double* lo = loRo[0];
    double* ro = loRo[1];
    slots[kSlotLo] = lo;
    slots[kSlotRo] = ro;
    switch (dematrixProcedure) {
        case kProcedureNoMatrix:
            slots[kSlotLo] = l;
            slots[kSlotRo] = r;
            break;
        case kProcedureSurroundDifference:
            for (int i = 0; i < kFrameSamples; ++i) {
                const double m = s * (ls[i] + rs[i]) / 2.0;
                lo[i] = n * (l[i] + b * c[i] - m);
                ro[i] = n * (r[i] + b * c[i] + m);
            }
            break;
        default:
            for (int i = 0; i < kFrameSamples; ++i) {
                lo[i] = n * (l[i] + b * c[i] + s * ls[i]);
                ro[i] = n * (r[i] + b * c[i] + s * rs[i]);
            }
            break;
    }
    return slots;
}

void ScaleForMatrix(SubbandFrame& frame, int dematrixProcedure) {
    ScaleForMatrix(*reinterpret_cast<const FilteredSlots*>(&frame.samples[kSlotLo]), frame,
                   dematrixProcedure);
}

void ScaleForMatrix(const FilteredSlots& filtered, SubbandFrame& frame, int dematrixProcedure) {
    const MatrixCoefficients gains = SubbandCoefficients(dematrixProcedure);
    const double n = gains.normalisation;
    const double centreGain = n * gains.centre;
    const double surroundGain = n * gains.surround;
    ForEachSample([&](int part, int gr, int sb) {
        frame.samples[kSlotLo][part][gr][sb] = filtered[kSlotLo][part][gr][sb] * n;
        frame.samples[kSlotRo][part][gr][sb] = filtered[kSlotRo][part][gr][sb] * n;
        frame.samples[kSlotC][part][gr][sb] = filtered[kSlotC][part][gr][sb] * centreGain;
        frame.samples[kSlotLs][part][gr][sb] = filtered[kSlotLs][part][gr][sb] * surroundGain;
        frame.samples[kSlotRs][part][gr][sb] = filtered[kSlotRs][part][gr][sb] * surroundGain;
    });
}

void MatrixSubbands(SubbandFrame& frame, int dematrixProcedure, int center) {
    auto& x = frame.samples;
    ForEachSample([&](int part, int gr, int sb) {
        const double l = x[kSlotLo][part][gr][sb];
        const double r = x[kSlotRo][part][gr][sb];
        const double c = x[kSlotC][part][gr][sb];
        const double ls = x[kSlotLs][part][gr][sb];
        const double rs = x[kSlotRs][part][gr][sb];
        x[kSlotL][part][gr][sb] = l;
        x[kSlotR][part][gr][sb] = r;
        if (dematrixProcedure == kProcedureSurroundDifference) {
            const double m = (ls + rs) / 2.0;
            x[kSlotLo][part][gr][sb] = l + c - m;
            x[kSlotRo][part][gr][sb] = r + c + m;
        } else if (dematrixProcedure != kProcedureNoMatrix) {
            x[kSlotLo][part][gr][sb] = l + c + ls;
            x[kSlotRo][part][gr][sb] = r + c + rs;
        }
        if (center == kLimitedCentre && sb >= kLimitedCentreFirstSubband) {
            x[kSlotC][part][gr][sb] = 0.0;
            if (dematrixProcedure == kProcedureNoMatrix) {
                x[kSlotLo][part][gr][sb] += c * kInvSqrt2;
                x[kSlotRo][part][gr][sb] += c * kInvSqrt2;
            } else {
                x[kSlotL][part][gr][sb] += c;
                x[kSlotR][part][gr][sb] += c;
            }
        }
    });
}

}  // namespace tavrisk::mp2
