// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/LineLevelFft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "dsp/KernelChoice.h"
#include "mp2enc/PsychoLanes.h"

namespace tavrisk::mp2 {
namespace {

using Block = LineLevelFft::Block;
using Tables = LineLevelFft::Tables;

constexpr int kLines = LineLevelFft::kLines;
constexpr int kTailSamples = LineLevelFft::kTailSamples;
constexpr int kWidth = 8;  // floats per vector
constexpr double kSampleScale = 1.0 / 32768.0;
constexpr double kDbPerOctave = LineLevelFft::kDbPerOctave;

typedef float Floats8 __attribute__((vector_size(32)));
typedef float Floats4 __attribute__((vector_size(16)));
typedef std::int32_t Ints8 __attribute__((vector_size(32)));
using Doubles4 = PsyDoubles4;
using Ints4 = PsyInts4;

// Windows the block's samples [first, end) from `from`, which holds sample `first` on;
// nonZero gathers the lanes of any value not zero.
[[gnu::always_inline]] inline void WindowSpan(const Tables& t, const double* from, int first,
                                              int end, Block& block, Ints4& nonZero) {
    for (int j = first; j < end; j += kWidth) {
        Doubles4 a, b, wa, wb;
        ReadLanes(a, from + (j - first));
        ReadLanes(b, from + (j - first) + 4);
        ReadLanes(wa, &t.window[j]);
        ReadLanes(wb, &t.window[j + 4]);
        a *= wa;
        b *= wb;
        nonZero |= (a != 0.0) | (b != 0.0);
        const Floats4 even =
            __builtin_convertvector(__builtin_shufflevector(a, b, 0, 2, 4, 6), Floats4);
        const Floats4 odd =
            __builtin_convertvector(__builtin_shufflevector(a, b, 1, 3, 5, 7), Floats4);
        WriteLanes(&block.re[j / 2], even);
        WriteLanes(&block.im[j / 2], odd);
    }
}

// Windows the block's samples [0, end): the tail, then the new samples.
[[gnu::always_inline]] inline bool WindowBody(const Tables& t, const double* tail,
                                              const double* samples, Block& block, int end) {
    Ints4 nonZero{};
    WindowSpan(t, tail, 0, std::min(end, kTailSamples), block, nonZero);
    WindowSpan(t, samples, kTailSamples, end, block, nonZero);
    return (nonZero[0] | nonZero[1] | nonZero[2] | nonZero[3]) != 0;
}

// The four outputs of eight butterflies of a radix-4 stage whose butterflies lie `Span`
// values apart (1 or 4), written interleaved as the stage orders them: 32 values from out.
template <int Span>
[[gnu::always_inline]] inline void Interleave(float* out, const Floats8 (&o)[4]) {
    if constexpr (Span == 1) {
        // Output r of butterfly l goes to 4 l + r.
        const Floats8 low02 = __builtin_shufflevector(o[0], o[2], 0, 8, 1, 9, 2, 10, 3, 11);
        const Floats8 high02 = __builtin_shufflevector(o[0], o[2], 4, 12, 5, 13, 6, 14, 7, 15);
        const Floats8 low13 = __builtin_shufflevector(o[1], o[3], 0, 8, 1, 9, 2, 10, 3, 11);
        const Floats8 high13 = __builtin_shufflevector(o[1], o[3], 4, 12, 5, 13, 6, 14, 7, 15);
        WriteLanes(out, __builtin_shufflevector(low02, low13, 0, 8, 1, 9, 2, 10, 3, 11));
        WriteLanes(out + 8, __builtin_shufflevector(low02, low13, 4, 12, 5, 13, 6, 14, 7, 15));
        WriteLanes(out + 16, __builtin_shufflevector(high02, high13, 0, 8, 1, 9, 2, 10, 3, 11));
        WriteLanes(out + 24, __builtin_shufflevector(high02, high13, 4, 12, 5, 13, 6, 14, 7, 15));
    } else {
        static_assert(Span == 4);
        // Output r of butterfly l goes to 16 (l / 4) + 4 r + l % 4.
        WriteLanes(out, __builtin_shufflevector(o[0], o[1], 0, 1, 2, 3, 8, 9, 10, 11));
        WriteLanes(out + 8, __builtin_shufflevector(o[2], o[3], 0, 1, 2, 3, 8, 9, 10, 11));
        WriteLanes(out + 16, __builtin_shufflevector(o[0], o[1], 4, 5, 6, 7, 12, 13, 14, 15));
        WriteLanes(out + 24, __builtin_shufflevector(o[2], o[3], 4, 5, 6, 7, 12, 13, 14, 15));
    }
}

// (re + i im) times the turn (wr + i wi) at the given places.
[[gnu::always_inline]] inline void Turn(const float* turnRe, const float* turnIm, Floats8& re,
                                        Floats8& im) {
    Floats8 wr, wi;
    ReadLanes(wr, turnRe);
    ReadLanes(wi, turnIm);
    const Floats8 vr = re;
    re = vr * wr - im * wi;
    im = vr * wi + im * wr;
}

// One radix-4 stage of a self-sorting FFT (output in natural order after the last stage):
// butterfly j = q + span p (span = 4^Stage) takes x[j + 128 r], r = 0..3, and writes its
// output r, turned by e^(-2 pi i r p span / 512), to y[q + span (4 p + r)].
template <int Stage>
[[gnu::always_inline]] inline void Radix4Stage(const Tables& t, const Block& x, Block& y) {
    constexpr int kSpan = 1 << (2 * Stage);
    constexpr int kQuarter = kLines / 4;
    const float* turnRe = &t.turnRe[Stage][0][0];
    const float* turnIm = &t.turnIm[Stage][0][0];
    for (int j = 0; j < kQuarter; j += kWidth) {
        Floats8 re0, re1, re2, re3, im0, im1, im2, im3;
        ReadLanes(re0, &x.re[j]);
        ReadLanes(im0, &x.im[j]);
        ReadLanes(re1, &x.re[j + kQuarter]);
        ReadLanes(im1, &x.im[j + kQuarter]);
        ReadLanes(re2, &x.re[j + 2 * kQuarter]);
        ReadLanes(im2, &x.im[j + 2 * kQuarter]);
        ReadLanes(re3, &x.re[j + 3 * kQuarter]);
        ReadLanes(im3, &x.im[j + 3 * kQuarter]);
        const Floats8 sumRe02 = re0 + re2, sumIm02 = im0 + im2;
        const Floats8 difRe02 = re0 - re2, difIm02 = im0 - im2;
        const Floats8 sumRe13 = re1 + re3, sumIm13 = im1 + im3;
        const Floats8 difRe13 = re1 - re3, difIm13 = im1 - im3;
        // -i (b - d) = difIm13 - i difRe13.
        Floats8 outRe[4] = {sumRe02 + sumRe13, difRe02 + difIm13, sumRe02 - sumRe13,
                            difRe02 - difIm13};
        Floats8 outIm[4] = {sumIm02 + sumIm13, difIm02 - difRe13, sumIm02 - sumIm13,
                            difIm02 + difRe13};
        Turn(turnRe + j, turnIm + j, outRe[1], outIm[1]);
        Turn(turnRe + kQuarter + j, turnIm + kQuarter + j, outRe[2], outIm[2]);
        Turn(turnRe + 2 * kQuarter + j, turnIm + 2 * kQuarter + j, outRe[3], outIm[3]);
        if constexpr (kSpan >= kWidth) {
            const int o = j + 3 * kSpan * (j / kSpan);
            WriteLanes(&y.re[o], outRe[0]);
            WriteLanes(&y.im[o], outIm[0]);
            WriteLanes(&y.re[o + kSpan], outRe[1]);
            WriteLanes(&y.im[o + kSpan], outIm[1]);
            WriteLanes(&y.re[o + 2 * kSpan], outRe[2]);
            WriteLanes(&y.im[o + 2 * kSpan], outIm[2]);
            WriteLanes(&y.re[o + 3 * kSpan], outRe[3]);
            WriteLanes(&y.im[o + 3 * kSpan], outIm[3]);
        } else {
            Interleave<kSpan>(&y.re[4 * j], outRe);
            Interleave<kSpan>(&y.im[4 * j], outIm);
        }
    }
}

// The last stage, radix 2 with butterflies 256 apart and no turn.
[[gnu::always_inline]] inline void LastStage(const Block& x, Block& y) {
    constexpr int kHalf = kLines / 2;
    for (int j = 0; j < kHalf; j += kWidth) {
        Floats8 ar, ai, br, bi;
        ReadLanes(ar, &x.re[j]);
        ReadLanes(ai, &x.im[j]);
        ReadLanes(br, &x.re[j + kHalf]);
        ReadLanes(bi, &x.im[j + kHalf]);
        WriteLanes(&y.re[j], ar + br);
        WriteLanes(&y.im[j], ai + bi);
        WriteLanes(&y.re[j + kHalf], ar - br);
        WriteLanes(&y.im[j + kHalf], ai - bi);
    }
}

// Four of a group of eight lines, from their level and power in single precision: below the
// energy floor, the floor's (double) level and power.
template <int Half>
[[gnu::always_inline]] inline void WriteLines(const Tables& t, const Ints8& floor,
                                              const Floats8& lineLevel, const Floats8& linePower,
                                              double* level, double* power) {
    constexpr int k = 4 * Half;
    const Ints4 isFloor = (Ints4)__builtin_shufflevector(floor, floor, k, k, k + 1, k + 1, k + 2,
                                                         k + 2, k + 3, k + 3);
    const Doubles4 levels = __builtin_convertvector(
        __builtin_shufflevector(lineLevel, lineLevel, k, k + 1, k + 2, k + 3), Doubles4);
    const Doubles4 powers = __builtin_convertvector(
        __builtin_shufflevector(linePower, linePower, k, k + 1, k + 2, k + 3), Doubles4);
    const Doubles4 floorLevel = Doubles4{} + t.floorDb;
    const Doubles4 floorPower = Doubles4{} + t.floorPower;
    WriteLanes(level + k, isFloor ? floorLevel : levels);
    WriteLanes(power + k, isFloor ? floorPower : powers);
}

// The weighted sum of the sources' values past the tail, eight at a time.
[[gnu::always_inline]] inline bool MixBody(const Block* const* sources, const float* weights,
                                           int count, Block& block) {
    Ints8 nonZero{};
    for (int i = kTailSamples / 2; i < kLines; i += kWidth) {
        Floats8 re{}, im{};
        for (int n = 0; n < count; ++n) {
            Floats8 sourceRe, sourceIm;
            ReadLanes(sourceRe, &sources[n]->re[i]);
            ReadLanes(sourceIm, &sources[n]->im[i]);
            re += weights[n] * sourceRe;
            im += weights[n] * sourceIm;
        }
        nonZero |= (re != 0.0f) | (im != 0.0f);
        WriteLanes(&block.re[i], re);
        WriteLanes(&block.im[i], im);
    }
    for (int lane = 0; lane < kWidth; ++lane) {
        if (nonZero[lane] != 0) return true;
    }
    return false;
}

[[gnu::always_inline]] inline void LevelsBody(const Tables& t, Block& block, Block& work,
                                              double* level, double* power) {
    // 512 = 4^4 2: five stages, from block to work and back; the spectrum ends in work.
    Radix4Stage<0>(t, block, work);
    Radix4Stage<1>(t, work, block);
    Radix4Stage<2>(t, block, work);
    Radix4Stage<3>(t, work, block);
    LastStage(block, work);

    // Z = E + i O, E and O the spectra of the even and odd samples; line k of the block is
    // E[k] + e^(-2 pi i k / 1024) O[k], E[k] = (Z[k] + Z*[512 - k]) / 2 and
    // O[k] = (Z[k] - Z*[512 - k]) / 2i. Z[512] is Z[0].
    float* zr = work.re.data();
    float* zi = work.im.data();
    zr[kLines] = zr[0];
    zi[kLines] = zi[0];
    constexpr float kSqrt2 = std::numbers::sqrt2_v<float>;
    for (int k = 0; k < kLines; k += kWidth) {
        Floats8 ar, ai, nr, ni, wr, wi;
        ReadLanes(ar, zr + k);
        ReadLanes(ai, zi + k);
        ReadLanes(nr, zr + kLines - k - (kWidth - 1));
        ReadLanes(ni, zi + kLines - k - (kWidth - 1));
        nr = __builtin_shufflevector(nr, nr, 7, 6, 5, 4, 3, 2, 1, 0);
        ni = __builtin_shufflevector(ni, ni, 7, 6, 5, 4, 3, 2, 1, 0);
        ReadLanes(wr, &t.splitRe[k]);
        ReadLanes(wi, &t.splitIm[k]);
        const Floats8 er = 0.5f * (ar + nr);
        const Floats8 ei = 0.5f * (ai - ni);
        const Floats8 orr = 0.5f * (ai + ni);
        const Floats8 oi = 0.5f * (nr - ar);
        const Floats8 xr = er + (wr * orr - wi * oi);
        const Floats8 xi = ei + (wr * oi + wi * orr);
        const Floats8 energy = xr * xr + xi * xi;

        // log2(4 energy) = e + log2(m), m in [sqrt(1/2), sqrt(2)) taken as
        // 2 atanh(s) / ln 2, s = (m - 1) / (m + 1), |s| < 0.172: a series to s^9.
        const Floats8 y = 4.0f * energy;
        const Ints8 bits = (Ints8)y;
        const Floats8 unit = (Floats8)((bits & 0x7fffff) | 0x3f800000);
        const Ints8 above = unit > kSqrt2;  // -1 where m is halved
        const Floats8 m = above ? unit * 0.5f : unit;
        const Ints8 exponent = ((bits >> 23) - 127) - above;
        const Floats8 s = (m - 1.0f) / (m + 1.0f);
        const Floats8 s2 = s * s;
        const Floats8 fraction =
            s * (2.0f + s2 * (2.0f / 3 + s2 * (2.0f / 5 + s2 * (2.0f / 7 + s2 * (2.0f / 9))))) *
            std::numbers::log2e_v<float>;
        const Ints8 floor = energy < static_cast<float>(LineLevelFft::kMinEnergy);
        const Floats8 lineLevel = static_cast<float>(kDbPerOctave) *
                                      (__builtin_convertvector(exponent, Floats8) + fraction) +
                                  static_cast<float>(LineLevelFft::kPowerOffsetDb);
        const Floats8 linePower = y * static_cast<float>(t.offsetPower);
        WriteLines<0>(t, floor, lineLevel, linePower, level + k, power + k);
        WriteLines<1>(t, floor, lineLevel, linePower, level + k, power + k);
    }
}

bool WindowPlain(const Tables& t, const double* tail, const double* samples, Block& block,
                 int end) {
    return WindowBody(t, tail, samples, block, end);
}

[[gnu::target("avx2")]] bool WindowAvx2(const Tables& t, const double* tail, const double* samples,
                                        Block& block, int end) {
    return WindowBody(t, tail, samples, block, end);
}

bool MixPlain(const Block* const* sources, const float* weights, int count, Block& block) {
    return MixBody(sources, weights, count, block);
}

[[gnu::target("avx2")]] bool MixAvx2(const Block* const* sources, const float* weights, int count,
                                     Block& block) {
    return MixBody(sources, weights, count, block);
}

void LevelsPlain(const Tables& t, Block& block, Block& work, double* level, double* power) {
    LevelsBody(t, block, work, level, power);
}

[[gnu::target("avx2")]] void LevelsAvx2(const Tables& t, Block& block, Block& work, double* level,
                                        double* power) {
    LevelsBody(t, block, work, level, power);
}

}  // namespace

LineLevelFft::LineLevelFft(bool withAvx2) {
    const bool avx2 = withAvx2 && HasAvx2();
    window = avx2 ? WindowAvx2 : WindowPlain;
    levels = avx2 ? LevelsAvx2 : LevelsPlain;
    mix = avx2 ? MixAvx2 : MixPlain;
    for (int j = 0; j < kBlockSamples; ++j) {
        tables.window[j] = std::sqrt(8.0 / 3.0) *
                           (1.0 - std::cos(2.0 * std::numbers::pi * j / (kBlockSamples - 1))) /
                           2048.0 * kSampleScale;
    }
    for (int stage = 0; stage < 4; ++stage) {
        const int span = 1 << (2 * stage);
        for (int r = 1; r < 4; ++r) {
            for (int j = 0; j < kLines / 4; ++j) {
                const double angle = -2.0 * std::numbers::pi * r * (j / span) * span / kLines;
                tables.turnRe[stage][r - 1][j] = static_cast<float>(std::cos(angle));
                tables.turnIm[stage][r - 1][j] = static_cast<float>(std::sin(angle));
            }
        }
    }
    for (int k = 0; k < kLines; ++k) {
        const double angle = -2.0 * std::numbers::pi * k / kBlockSamples;
        tables.splitRe[k] = static_cast<float>(std::cos(angle));
        tables.splitIm[k] = static_cast<float>(std::sin(angle));
    }
    tables.floorDb = 10.0 * std::log10(4.0 * kMinEnergy) + kPowerOffsetDb;
    tables.floorPower = std::pow(10.0, 0.1 * tables.floorDb);
    tables.offsetPower = std::pow(10.0, 0.1 * kPowerOffsetDb);
}

bool LineLevelFft::Window(const double* tail, const double* samples, Block& block) const {
    return window(tables, tail, samples, block, kBlockSamples);
}

bool LineLevelFft::Mix(const double* tail, const Block* const* sources, const double* weights,
                       int count, Block& block) const {
    std::array<float, kMixSources> w{};
    for (int n = 0; n < count; ++n) w[n] = static_cast<float>(weights[n]);
    const bool tailNonZero = window(tables, tail, tail, block, kTailSamples);
    return mix(sources, w.data(), count, block) || tailNonZero;
}

void LineLevelFft::Levels(Block& block, Block& work, double* level, double* power) const {
    levels(tables, block, work, level, power);
}

}  // namespace tavrisk::mp2
