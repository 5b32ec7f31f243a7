// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/PsychoSpectrum.h"

#include <cmath>
#include <cstdint>
#include <numbers>

#include "mp2enc/PsychoLanes.h"

namespace tavrisk::mp2 {
namespace {

using Block = PsychoSpectrum::Block;
using Tables = PsychoSpectrum::Tables;

constexpr int kLines = PsychoSpectrum::kLines;
constexpr int kBlockSamples = PsychoSpectrum::kBlockSamples;
constexpr int kTailSamples = PsychoSpectrum::kTailSamples;
constexpr int kStages = 9;                // of the 512-point FFT
constexpr int kButterflies = kLines / 2;  // per stage
constexpr int kWidth = 8;                 // floats per vector
constexpr double kSampleScale = 1.0 / 32768.0;
constexpr double kDbPerOctave = PsychoSpectrum::kDbPerOctave;

typedef float Floats8 __attribute__((vector_size(32)));
typedef float Floats4 __attribute__((vector_size(16)));
typedef std::int32_t Ints8 __attribute__((vector_size(32)));
using Doubles4 = PsyDoubles4;
using Ints4 = PsyInts4;

[[gnu::always_inline]] inline bool WindowBody(const Tables& t, const double* tail,
                                              const double* samples, Block& block) {
    Ints4 nonZero{};
    for (int j = 0; j < kBlockSamples; j += kWidth) {
        const double* from = j < kTailSamples ? tail + j : samples + (j - kTailSamples);
        Doubles4 a, b, wa, wb;
        ReadLanes(a, from);
        ReadLanes(b, from + 4);
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
    return (nonZero[0] | nonZero[1] | nonZero[2] | nonZero[3]) != 0;
}

// Sums and turned differences of a stage with butterflies `span` values apart inside each
// group of 8 (span 1, 2 or 4): written interleaved by span, 16 values from out.
template <int Span>
[[gnu::always_inline]] inline void Interleave(float* out, const Floats8& sum,
                                              const Floats8& difference) {
    Floats8 low, high;
    if constexpr (Span == 1) {
        low = __builtin_shufflevector(sum, difference, 0, 8, 1, 9, 2, 10, 3, 11);
        high = __builtin_shufflevector(sum, difference, 4, 12, 5, 13, 6, 14, 7, 15);
    } else if constexpr (Span == 2) {
        low = __builtin_shufflevector(sum, difference, 0, 1, 8, 9, 2, 3, 10, 11);
        high = __builtin_shufflevector(sum, difference, 4, 5, 12, 13, 6, 7, 14, 15);
    } else {
        static_assert(Span == 4);
        low = __builtin_shufflevector(sum, difference, 0, 1, 2, 3, 8, 9, 10, 11);
        high = __builtin_shufflevector(sum, difference, 4, 5, 6, 7, 12, 13, 14, 15);
    }
    WriteLanes(out, low);
    WriteLanes(out + kWidth, high);
}

// One stage of a self-sorting radix-2 FFT (output in natural order after the last one):
// butterfly j = q + span p takes x[j] and x[j + 256] and writes their sum to
// y[q + 2 span p] and their difference, turned by e^(-2 pi i p span / 512), span further.
template <int Stage>
[[gnu::always_inline]] inline void FftStage(const Tables& t, const Block& x, Block& y) {
    constexpr int kSpan = 1 << Stage;
    const float* turnRe = &t.stageRe[Stage * kButterflies];
    const float* turnIm = &t.stageIm[Stage * kButterflies];
    for (int j = 0; j < kButterflies; j += kWidth) {
        Floats8 ar, ai, br, bi, wr, wi;
        ReadLanes(ar, &x.re[j]);
        ReadLanes(ai, &x.im[j]);
        ReadLanes(br, &x.re[j + kButterflies]);
        ReadLanes(bi, &x.im[j + kButterflies]);
        ReadLanes(wr, turnRe + j);
        ReadLanes(wi, turnIm + j);
        const Floats8 sr = ar + br;
        const Floats8 si = ai + bi;
        const Floats8 er = ar - br;
        const Floats8 ei = ai - bi;
        const Floats8 dr = er * wr - ei * wi;
        const Floats8 di = er * wi + ei * wr;
        if constexpr (kSpan >= kWidth) {
            const int o = j + kSpan * (j / kSpan);
            WriteLanes(&y.re[o], sr);
            WriteLanes(&y.im[o], si);
            WriteLanes(&y.re[o + kSpan], dr);
            WriteLanes(&y.im[o + kSpan], di);
        } else {
            Interleave<kSpan>(&y.re[2 * j], sr, dr);
            Interleave<kSpan>(&y.im[2 * j], si, di);
        }
    }
}

// Four of a group of eight lines: level and power from the energy and its base-2 logarithm
// (exponent + fraction).
template <int Half>
[[gnu::always_inline]] inline void WriteLines(const Tables& t, const Ints8& exponent,
                                              const Floats8& fraction, const Floats8& energy,
                                              double* level, double* power) {
    constexpr int k = 4 * Half;
    const Doubles4 e = __builtin_convertvector(
        __builtin_shufflevector(exponent, exponent, k, k + 1, k + 2, k + 3), Doubles4);
    const Doubles4 f = __builtin_convertvector(
        __builtin_shufflevector(fraction, fraction, k, k + 1, k + 2, k + 3), Doubles4);
    const Doubles4 lineEnergy = __builtin_convertvector(
        __builtin_shufflevector(energy, energy, k, k + 1, k + 2, k + 3), Doubles4);
    const Ints4 floor = lineEnergy < PsychoSpectrum::kMinEnergy;
    const Doubles4 lineLevel = kDbPerOctave * (e + f) + PsychoSpectrum::kPowerOffsetDb;
    const Doubles4 linePower = 4.0 * lineEnergy * t.offsetPower;
    const Doubles4 floorLevel = Doubles4{} + t.floorDb;
    const Doubles4 floorPower = Doubles4{} + t.floorPower;
    WriteLanes(level + k, floor ? floorLevel : lineLevel);
    WriteLanes(power + k, floor ? floorPower : linePower);
}

[[gnu::always_inline]] inline void LevelsBody(const Tables& t, Block& block, Block& work,
                                              double* level, double* power) {
    // Nine stages, from block to work and back: the spectrum ends in work.
    FftStage<0>(t, block, work);
    FftStage<1>(t, work, block);
    FftStage<2>(t, block, work);
    FftStage<3>(t, work, block);
    FftStage<4>(t, block, work);
    FftStage<5>(t, work, block);
    FftStage<6>(t, block, work);
    FftStage<7>(t, work, block);
    FftStage<8>(t, block, work);
    static_assert(kStages == 9);

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
        WriteLines<0>(t, exponent, fraction, energy, level + k, power + k);
        WriteLines<1>(t, exponent, fraction, energy, level + k, power + k);
    }
}

bool WindowPlain(const Tables& t, const double* tail, const double* samples, Block& block) {
    return WindowBody(t, tail, samples, block);
}

[[gnu::target("avx2")]] bool WindowAvx2(const Tables& t, const double* tail, const double* samples,
                                        Block& block) {
    return WindowBody(t, tail, samples, block);
}

void LevelsPlain(const Tables& t, Block& block, Block& work, double* level, double* power) {
    LevelsBody(t, block, work, level, power);
}

[[gnu::target("avx2")]] void LevelsAvx2(const Tables& t, Block& block, Block& work, double* level,
                                        double* power) {
    LevelsBody(t, block, work, level, power);
}

}  // namespace

PsychoSpectrum::PsychoSpectrum(bool withAvx2) {
    __builtin_cpu_init();
    const bool avx2 = withAvx2 && __builtin_cpu_supports("avx2");
    window = avx2 ? WindowAvx2 : WindowPlain;
    levels = avx2 ? LevelsAvx2 : LevelsPlain;
    for (int j = 0; j < kBlockSamples; ++j) {
        tables.window[j] = std::sqrt(8.0 / 3.0) *
                           (1.0 - std::cos(2.0 * std::numbers::pi * j / (kBlockSamples - 1))) /
                           2048.0 * kSampleScale;
    }
    for (int stage = 0; stage < kStages; ++stage) {
        const int span = 1 << stage;
        for (int j = 0; j < kButterflies; ++j) {
            const double angle = -2.0 * std::numbers::pi * (j / span) * span / kLines;
            tables.stageRe[stage * kButterflies + j] = static_cast<float>(std::cos(angle));
            tables.stageIm[stage * kButterflies + j] = static_cast<float>(std::sin(angle));
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

bool PsychoSpectrum::Window(const double* tail, const double* samples, Block& block) const {
    return window(tables, tail, samples, block);
}

void PsychoSpectrum::Levels(Block& block, Block& work, double* level, double* power) const {
    levels(tables, block, work, level, power);
}

}  // namespace tavrisk::mp2
