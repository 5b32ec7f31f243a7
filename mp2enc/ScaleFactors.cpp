// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/ScaleFactors.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "dsp/KernelChoice.h"

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

// The pattern of one triplet (SelectScaleFactors).
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
    return ChooseAvx2Kernel(SubbandPeaksAvx2, SubbandPeaksPlain);
}

// Eight ints side by side, read from any int.
typedef int Ints __attribute__((vector_size(32), aligned(4), may_alias));
constexpr int kIntLanes = 8;

// SelectPattern on the triplets of eight subbands at once: the table's cells as masks of
// the two differences, each output index chosen among s0, s1, s2 and min(s0, s2).
[[gnu::always_inline]] inline void SelectPatterns(int* s0p, int* s1p, int* s2p, int* scfsi) {
    Ints& s0Lanes = *reinterpret_cast<Ints*>(s0p);
    Ints& s1Lanes = *reinterpret_cast<Ints*>(s1p);
    Ints& s2Lanes = *reinterpret_cast<Ints*>(s2p);
    const Ints s0 = s0Lanes, s1 = s1Lanes, s2 = s2Lanes;
    const Ints d1 = s0 - s1;
    const Ints d2 = s1 - s2;
    // Classes of the first difference: far (beyond +-2), falling (-2, -1), even, rising.
    const Ints far1 = (d1 > 2) | (d1 < -2);
    const Ints fall1 = (d1 >= -2) & (d1 < 0);
    const Ints even1 = d1 == 0;
    const Ints rise1 = (d1 > 0) & (d1 <= 2);
    // Of the second: below -2, -2 to 0, 0 and below, 1 to 2, above 2.
    const Ints down2 = d2 < -2;
    const Ints near2 = (d2 >= -2) & (d2 <= 0);
    const Ints low2 = d2 <= 0;
    const Ints rise2 = (d2 > 0) & (d2 <= 2);
    const Ints up2 = d2 > 2;
    const Ints p123 = (far1 & (down2 | up2)) | (rise1 & up2);
    const Ints p122 = far1 & near2;
    const Ints p133 = far1 & rise2;
    const Ints p113 = ((fall1 | even1) & up2) | (fall1 & down2);
    const Ints p111 = (fall1 & near2) | (even1 & low2);
    const Ints p222 = rise1 & low2;
    const Ints p333 = (even1 | rise1) & rise2;
    const Ints p444 = fall1 & rise2;
    const Ints smaller = s0 < s2 ? s0 : s2;
    s0Lanes = p222 ? s1 : p333 ? s2 : p444 ? smaller : s0;
    s1Lanes = (p113 | p111) ? s0 : (p133 | p333) ? s2 : p444 ? smaller : s1;
    s2Lanes = p111 ? s0 : (p122 | p222) ? s1 : p444 ? smaller : s2;
    constexpr Ints kNone = {}, kOne = kNone + 1, kTwo = kNone + 2, kThree = kNone + 3;
    *reinterpret_cast<Ints*>(scfsi) = p123 ? kNone : (p122 | p133) ? kThree : p113 ? kOne : kTwo;
}

// One triplet at a time: without AVX2 the lanes' selections cost more than they save.
void SlotPatternsPlain(SubbandFrame& frame) {
    for (int slot = 0; slot < kSlotsWithScfsi; ++slot) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            frame.scfsi[slot][sb] =
                SelectPattern(frame.scaleIndex[slot][0][sb], frame.scaleIndex[slot][1][sb],
                              frame.scaleIndex[slot][2][sb]);
        }
    }
}

// Eight subbands at a time.
[[gnu::target("avx2")]] void SlotPatternsAvx2(SubbandFrame& frame) {
    for (int slot = 0; slot < kSlotsWithScfsi; ++slot) {
        int(*index)[kSubbands] = frame.scaleIndex[slot];
        for (int sb = 0; sb < kSubbands; sb += kIntLanes) {
            SelectPatterns(index[0] + sb, index[1] + sb, index[2] + sb, frame.scfsi[slot] + sb);
        }
    }
}

void ScaleIndicesPlain(const double* peaks, int count, int* index) {
    for (int sb = 0; sb < count; ++sb) index[sb] = ScaleIndexFor(peaks[sb]);
}

// The low halves of four 64-bit lanes (their masks, or their numbers below 2^31).
[[gnu::target("avx2"), gnu::always_inline]] inline __m128i LowHalves(__m256i lanes) {
    return _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
}

// -1 in each lane whose index is to step down (ScaleIndexFor's loop), else 0.
[[gnu::target("avx2"), gnu::always_inline]] inline __m128i StepDown(__m256d peak, __m128i j) {
    // The masked gather: the plain one leaves a register unset, as the compiler warns.
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    const __m256d scale = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), kScaleFactorTable.data(), j,
                                                   all, sizeof(double));
    const __m128i notBelow =
        LowHalves(_mm256_castpd_si256(_mm256_cmp_pd(peak, scale, _CMP_NLT_UQ)));
    return _mm_and_si128(notBelow, _mm_cmpgt_epi32(j, _mm_setzero_si128()));
}

// ScaleIndexFor on four peaks at once: the same start from the exponent and the mantissa,
// and the same steps down the table while any lane takes one (a peak below the smallest
// scale factor starts at 62, where ScaleIndexFor returns at once). A last four reaches past
// `count` (into a subband row's rest, which the caller then fills).
[[gnu::target("avx2")]] void ScaleIndicesAvx2(const double* peaks, int count, int* index) {
    using namespace scale_index;
    constexpr int kLanesOfFour = 4;
    static_assert(kSubbands % kLanesOfFour == 0);
    constexpr int kHighHalfShift = kMantissaBits - 32;
    for (int sb = 0; sb < count; sb += kLanesOfFour) {
        const __m256d peak = _mm256_loadu_pd(peaks + sb);
        const __m256i bits = _mm256_castpd_si256(peak);
        const __m128i high = _mm256_castsi256_si128(
            _mm256_permutevar8x32_epi32(bits, _mm256_setr_epi32(1, 3, 5, 7, 1, 3, 5, 7)));
        const __m128i exponent = _mm_sub_epi32(
            _mm_and_si128(_mm_srli_epi32(high, kHighHalfShift), _mm_set1_epi32(kExponentMask)),
            _mm_set1_epi32(kExponentBias));
        const __m256i mantissa = _mm256_and_si256(bits, _mm256_set1_epi64x(kMantissaMask));
        // The masks are -1 where the mantissa is past each mark.
        const __m128i past = _mm_add_epi32(
            LowHalves(_mm256_cmpgt_epi64(mantissa, _mm256_set1_epi64x(kPastOne - 1))),
            LowHalves(_mm256_cmpgt_epi64(mantissa, _mm256_set1_epi64x(kPastThird - 1))));
        const __m128i start = _mm_add_epi32(
            _mm_sub_epi32(_mm_set1_epi32(3), _mm_mullo_epi32(exponent, _mm_set1_epi32(3))), past);
        __m128i j = _mm_min_epi32(_mm_max_epi32(start, _mm_setzero_si128()),
                                  _mm_set1_epi32(kSmallestScaleIndex));
        for (__m128i step = StepDown(peak, j); !_mm_testz_si128(step, step);
             step = StepDown(peak, j)) {
            j = _mm_add_epi32(j, step);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(index + sb), j);
    }
}

}  // namespace

void ScaleFactorCalc(SubbandFrame& frame, int firstSlot, int endSlot, int limit) {
    static const PeaksFunction kPeaks = PickPeaksFunction();
    static const auto kIndices = ChooseAvx2Kernel(ScaleIndicesAvx2, ScaleIndicesPlain);
    const int coded = std::clamp(limit, 0, kSubbands);
    for (int slot = firstSlot; slot < endSlot; ++slot) {
        for (int part = 0; part < kParts; ++part) {
            alignas(32) double peak[kSubbands];
            kPeaks(frame.samples[slot][part], peak);
            int* index = frame.scaleIndex[slot][part];
            kIndices(peak, coded, index);  // the peaks and indices of all 32 subbands
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
    static const auto kPatterns = ChooseAvx2Kernel(SlotPatternsAvx2, SlotPatternsPlain);
    kPatterns(frame);
}

}  // namespace tavrisk::mp2
