// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/Quantiser.h"

#include "dsp/KernelChoice.h"

namespace tavrisk::mp2 {
namespace {

// Four lanes side by side, read from memory of the element type; each lane is computed
// exactly as its scalar expression.
typedef double Lanes __attribute__((vector_size(32), aligned(8), may_alias));
typedef long long Mask __attribute__((vector_size(32), aligned(8), may_alias));
typedef int Codes __attribute__((vector_size(16), aligned(4), may_alias));
constexpr int kLanes = 4;

// Codes from the sign of y and its scaled magnitude: the sign bit (half, as a double) set for
// y >= 0 joins the integer part of y half or (y + 1) half.
[[gnu::always_inline]] inline bool QuantiseLanes(const SlotSamples& samples,
                                                 const SlotQuantisers& q, int subbands,
                                                 SlotCodes& codes) {
    constexpr Mask kMagnitude = {~(1LL << 63), ~(1LL << 63), ~(1LL << 63), ~(1LL << 63)};
    Mask unscaled = {};
    for (int part = 0; part < kParts; ++part) {
        const double* scale = q.scale[part];
        for (int gr = 0; gr < kGranules; ++gr) {
            const double* row = samples[part][gr];
            for (int sb = 0; sb < subbands; sb += kLanes) {
                const Lanes x = *reinterpret_cast<const Lanes*>(row + sb) /
                                *reinterpret_cast<const Lanes*>(scale + sb);
                unscaled |= ((Lanes)((Mask)x & kMagnitude) >= 1.0) &
                            *reinterpret_cast<const Mask*>(q.coded + sb);
                const Lanes y = *reinterpret_cast<const Lanes*>(q.a + sb) * x +
                                *reinterpret_cast<const Lanes*>(q.b + sb);
                const Mask positive = y >= 0.0;
                const Lanes half = *reinterpret_cast<const Lanes*>(q.half + sb);
                const Lanes signBit = (Lanes)((Mask)half & positive);
                *reinterpret_cast<Codes*>(&codes[part][gr][sb]) =
                    __builtin_convertvector((positive ? y : y + 1.0) * half, Codes) |
                    __builtin_convertvector(signBit, Codes);
            }
        }
    }
    return (unscaled[0] | unscaled[1] | unscaled[2] | unscaled[3]) != 0;
}

bool QuantiseLanesPlain(const SlotSamples& samples, const SlotQuantisers& q, int subbands,
                        SlotCodes& codes) {
    return QuantiseLanes(samples, q, subbands, codes);
}

// The same built for AVX2: the same divisions, multiplies and additions (no fused ones), so
// the same codes.
[[gnu::target("avx2")]] bool QuantiseLanesAvx2(const SlotSamples& samples, const SlotQuantisers& q,
                                               int subbands, SlotCodes& codes) {
    return QuantiseLanes(samples, q, subbands, codes);
}

using QuantiseFunction = bool (*)(const SlotSamples&, const SlotQuantisers&, int, SlotCodes&);

QuantiseFunction PickQuantiseFunction() {
    return ChooseAvx2Kernel(QuantiseLanesAvx2, QuantiseLanesPlain);
}

}  // namespace

void PrepareQuantisers(const AllocationTable& table, const int* bitAlloc,
                       const int (*scaleIndex)[kSubbands], SlotQuantisers& q) {
    for (int sb = 0; sb < kSubbands; ++sb) {
        const int quant = table[sb][bitAlloc[sb]].quant;
        const bool coded = bitAlloc[sb] != 0;
        q.a[sb] = coded ? kQuantA[quant] : 0.0;
        q.b[sb] = coded ? kQuantB[quant] : 0.0;
        q.half[sb] = coded ? kHalfRange[quant] : 0;
        q.coded[sb] = coded ? -1 : 0;
        for (int part = 0; part < kParts; ++part) {
            q.scale[part][sb] = kScaleFactorTable[scaleIndex[part][sb]];
        }
    }
}

bool QuantiseSlot(const SlotSamples& samples, const SlotQuantisers& quantisers, int subbands,
                  SlotCodes& codes) {
    static const QuantiseFunction kQuantise = PickQuantiseFunction();
    return kQuantise(samples, quantisers, (subbands + kLanes - 1) / kLanes * kLanes, codes);
}

}  // namespace tavrisk::mp2
