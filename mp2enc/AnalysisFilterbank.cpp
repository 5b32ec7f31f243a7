// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/AnalysisFilterbank.h"

#include <cmath>

#include "dsp/KernelChoice.h"

namespace tavrisk::mp2 {
namespace {

constexpr double kInputScale = 0.000030517578125;   // 2^-15: 16-bit scale to +-1
constexpr double kAngleStep = 0.04908738521234047;  // pi / 64
constexpr double kRounding = 1e9;

double RoundToNineDecimals(double value) {
    const double scaled = value * kRounding;
    const double rounded = scaled < 0 ? -std::floor(-scaled + 0.5) : std::floor(scaled + 0.5);
    return rounded * 1e-9;
}

// Eight floats side by side, read from any float, and eight doubles for the samples coming
// in and going out; each lane is computed exactly as its scalar expression.
// Typedefs, not alias declarations: clang ignores the lowered alignment on the latter and
// would load the unaligned rows as aligned vectors.
typedef float Lanes __attribute__((vector_size(32), aligned(4), may_alias));
typedef double DoubleLanes __attribute__((vector_size(64), aligned(8), may_alias));
constexpr int kLanes = 8;

// The 64 column sums y[k] folded into the 32 sums z[n] for which out[i] is the sum over n of
// cos((2i + 1) n pi / 64) z[n]: the matrix entries of columns 16 - n and 16 + n are equal,
// those of 80 - n and 16 + n opposite, and column 48 is zero.
void FoldColumns(const double* y, double* z) {
    constexpr int kCentre = AnalysisFilterbank::kBands / 2;
    z[0] = y[kCentre];
    for (int n = 1; n <= kCentre; ++n) z[n] = y[kCentre - n] + y[kCentre + n];
    for (int n = kCentre + 1; n < AnalysisFilterbank::kBands; ++n) {
        z[n] = y[kCentre + n] - y[5 * kCentre - n];
    }
}

// A slot's history is a ring of 17 granules, each sample stored twice, kRing apart, so that
// the 512 newest values lie in a row, oldest first, from the ring's next write position plus
// one granule on; one granule more than a window, so that the next granule may be stored
// while the window of the last is still read.
constexpr int kRing = AnalysisFilterbank::kRing;

// Stores 32 new samples at `base` of a history row; returns the next write position.
[[gnu::always_inline]] inline int StoreNewest(float* history, int base, const double* input) {
#pragma GCC unroll 4
    for (int i = 0; i < kSamplesPerGranule; i += kLanes) {
        const Lanes in =
            __builtin_convertvector(*reinterpret_cast<const DoubleLanes*>(input + i), Lanes);
        *reinterpret_cast<Lanes*>(history + base + i) = in;
        *reinterpret_cast<Lanes*>(history + base + kRing + i) = in;
    }
    const int next = base + kSamplesPerGranule;
    return next == kRing ? 0 : next;
}

// Where the 512 newest values start, given the next write position.
[[gnu::always_inline]] inline const float* Newest(const float* history, int base) {
    return history + base + kSamplesPerGranule;
}

constexpr int kColumns = AnalysisFilterbank::kMatrixColumns;
constexpr int kRows = kWindowSize / kColumns;

// The column sums of the windowed values, the first step of WindowSubband + FilterSubband with
// the same summation order in single precision, arranged so that the sums stay in registers. `x`
// holds the 512 newest samples oldest first and `window` the window reversed to match, so
// that u[63 - k] is the column sum y[k]; the sums run from the newest row to the oldest, as
// y's, each starting from its first product rather than from zero.
[[gnu::always_inline]] inline void WindowColumns(const float* x,
                                                 const AnalysisFilterbank::Tables& tables,
                                                 float* u) {
    constexpr int kHalf = kColumns / 2;
    constexpr int kVectors = kHalf / kLanes;  // 4 lanes of 8 sums
    for (int h = 0; h < kColumns; h += kHalf) {
        const float* xs = x + h;
        const float* ws = tables.window.data() + h;
        Lanes sum[kVectors];
        // Unrolled, so that the sums are registers rather than memory (-O2 keeps the loop).
#pragma GCC unroll 8
        for (int v = 0; v < kVectors; ++v) {
            const int at = (kRows - 1) * kColumns + kLanes * v;
            sum[v] =
                *reinterpret_cast<const Lanes*>(xs + at) * *reinterpret_cast<const Lanes*>(ws + at);
        }
#pragma GCC unroll 8
        for (int j = kRows - 2; j >= 0; --j) {
#pragma GCC unroll 8
            for (int v = 0; v < kVectors; ++v) {
                const int at = j * kColumns + kLanes * v;
                sum[v] += *reinterpret_cast<const Lanes*>(xs + at) *
                          *reinterpret_cast<const Lanes*>(ws + at);
            }
        }
        // Stored lane by lane rather than copied whole, which would keep the sums in memory.
#pragma GCC unroll 8
        for (int v = 0; v < kVectors; ++v) *reinterpret_cast<Lanes*>(&u[h + kLanes * v]) = sum[v];
    }
}

// WindowColumns for two granules at once, each window value loaded once for both: each sum
// the same as WindowColumns'. Eight columns at a time, so that few registers are live. With
// `kWide` (a build whose registers hold eight floats), an empty statement keeps the window's
// lanes in a register, which the compiler would otherwise read from memory twice.
template <bool kWide>
[[gnu::always_inline]] inline void WindowColumnsPair(const float* xa, const float* xb,
                                                     const AnalysisFilterbank::Tables& tables,
                                                     float* ua, float* ub) {
    for (int k = 0; k < kColumns; k += kLanes) {
        const int last = (kRows - 1) * kColumns + k;
        const Lanes lastWindow = *reinterpret_cast<const Lanes*>(tables.window.data() + last);
        Lanes sumA = *reinterpret_cast<const Lanes*>(xa + last) * lastWindow;
        Lanes sumB = *reinterpret_cast<const Lanes*>(xb + last) * lastWindow;
#pragma GCC unroll 8
        for (int j = kRows - 2; j >= 0; --j) {
            const int at = j * kColumns + k;
            Lanes w = *reinterpret_cast<const Lanes*>(tables.window.data() + at);
#if !defined(__clang__)  // clang keeps it in a register by itself, and checks the constraint
                         // against the function's own (plain) target
            if constexpr (kWide) asm("" : "+x"(w));
#endif
            sumA += *reinterpret_cast<const Lanes*>(xa + at) * w;
            sumB += *reinterpret_cast<const Lanes*>(xb + at) * w;
        }
        *reinterpret_cast<Lanes*>(ua + k) = sumA;
        *reinterpret_cast<Lanes*>(ub + k) = sumB;
    }
}

// The rest of FilterSubband on the column sums `u` (reversed, as WindowColumns leaves them):
// the fold, and the 16 even and 16 odd sums side by side, handed on as doubles.
[[gnu::always_inline]] inline void TransformColumns(const float* u,
                                                    const AnalysisFilterbank::Tables& tables,
                                                    double* out) {
    // FoldColumns, eight sums at a time: z[1 + 8v...] from the columns either side of 16 (u's
    // 47), z[17 + 8v...] from those either side of 48 (u's 15); z[32] is padding.
    constexpr int kCentre = kSubbands / 2;
    constexpr int kMiddle = kColumns - 1 - kCentre;
    alignas(32) std::array<float, kSubbands + kLanes> z;
    z[0] = u[kMiddle];
#pragma GCC unroll 2
    for (int v = 0; v < kCentre / kLanes; ++v) {
        const Lanes below = *reinterpret_cast<const Lanes*>(&u[kMiddle - kLanes * (v + 1)]);
        *reinterpret_cast<Lanes*>(&z[1 + kLanes * v]) =
            __builtin_shufflevector(below, below, 7, 6, 5, 4, 3, 2, 1, 0) +
            *reinterpret_cast<const Lanes*>(&u[kMiddle + 1 + kLanes * v]);
        const Lanes above =
            *reinterpret_cast<const Lanes*>(&u[kMiddle - kCentre - kLanes * (v + 1)]);
        *reinterpret_cast<Lanes*>(&z[kCentre + 1 + kLanes * v]) =
            __builtin_shufflevector(above, above, 7, 6, 5, 4, 3, 2, 1, 0) -
            *reinterpret_cast<const Lanes*>(&u[kLanes * v]);
    }
    // The even columns' sums split once more the same way: for i < 8, even[i] = E + O and
    // even[15 - i] = E - O, E over the columns 16 + 4q and O over 18 + 4q.
    constexpr int kHalfBands = AnalysisFilterbank::kHalfBands;
    constexpr int kQuarterBands = AnalysisFilterbank::kQuarterBands;
    constexpr int kHalfVectors = kHalfBands / kLanes;
    Lanes evenOfEven = *reinterpret_cast<const Lanes*>(tables.evenOfEven[0].data()) * z[0];
    Lanes oddOfEven = *reinterpret_cast<const Lanes*>(tables.oddOfEven[0].data()) * z[2];
#pragma GCC unroll 8
    for (int q = 1; q < kQuarterBands; ++q) {
        evenOfEven += *reinterpret_cast<const Lanes*>(tables.evenOfEven[q].data()) * z[4 * q];
        oddOfEven += *reinterpret_cast<const Lanes*>(tables.oddOfEven[q].data()) * z[4 * q + 2];
    }
    const Lanes evenDifference = evenOfEven - oddOfEven;
    const Lanes even[kHalfVectors] = {
        evenOfEven + oddOfEven,
        __builtin_shufflevector(evenDifference, evenDifference, 7, 6, 5, 4, 3, 2, 1, 0)};
    Lanes odd[kHalfVectors];
#pragma GCC unroll 2
    for (int v = 0; v < kHalfVectors; ++v) {
        odd[v] = *reinterpret_cast<const Lanes*>(tables.odd[0].data() + kLanes * v) * z[1];
    }
#pragma GCC unroll 4
    for (int p = 1; p < kHalfBands; ++p) {
        const float zo = z[2 * p + 1];
#pragma GCC unroll 2
        for (int v = 0; v < kHalfVectors; ++v) {
            odd[v] += *reinterpret_cast<const Lanes*>(tables.odd[p].data() + kLanes * v) * zo;
        }
    }
    // out[i] = even + odd, out[31 - i] = even - odd: the odd columns change sign there.
#pragma GCC unroll 2
    for (int v = 0; v < kHalfVectors; ++v) {
        *reinterpret_cast<DoubleLanes*>(out + kLanes * v) =
            __builtin_convertvector(even[v] + odd[v], DoubleLanes);
        const Lanes difference = even[v] - odd[v];
        *reinterpret_cast<DoubleLanes*>(out + kSubbands - kLanes * (v + 1)) =
            __builtin_convertvector(
                __builtin_shufflevector(difference, difference, 7, 6, 5, 4, 3, 2, 1, 0),
                DoubleLanes);
    }
}

// One granule: stores its samples and analyses it.
[[gnu::always_inline]] inline int AnalyseGranule(float* history, int base, const double* input,
                                                 const AnalysisFilterbank::Tables& tables,
                                                 double* out) {
    const int next = StoreNewest(history, base, input);
    alignas(32) std::array<float, kColumns> u;
    WindowColumns(Newest(history, next), tables, u.data());
    TransformColumns(u.data(), tables, out);
    return next;
}

// Two granules, 64 samples from `input` into 64 outputs: both stored first (the ring keeps
// the first window whole), then windowed side by side.
template <bool kWide>
[[gnu::always_inline]] inline int AnalyseGranulePair(float* history, int base, const double* input,
                                                     const AnalysisFilterbank::Tables& tables,
                                                     double* out) {
    const int middle = StoreNewest(history, base, input);
    const int next = StoreNewest(history, middle, input + kSamplesPerGranule);
    alignas(32) std::array<float, kColumns> ua;
    alignas(32) std::array<float, kColumns> ub;
    WindowColumnsPair<kWide>(Newest(history, middle), Newest(history, next), tables, ua.data(),
                             ub.data());
    TransformColumns(ua.data(), tables, out);
    TransformColumns(ub.data(), tables, out + kSubbands);
    return next;
}

int AnalyseGranulePlain(float* history, int base, const double* input,
                        const AnalysisFilterbank::Tables& tables, double* out) {
    return AnalyseGranule(history, base, input, tables, out);
}

// The same built for AVX2: wider registers, the same separate multiplies and additions (no
// fused ones), so the same values. Chosen when the processor has it; picked by a plain test
// rather than an ifunc, whose resolver runs before the thread sanitizer is set up.
[[gnu::target("avx2")]] int AnalyseGranuleAvx2(float* history, int base, const double* input,
                                               const AnalysisFilterbank::Tables& tables,
                                               double* out) {
    return AnalyseGranule(history, base, input, tables, out);
}

int AnalyseGranulePairPlain(float* history, int base, const double* input,
                            const AnalysisFilterbank::Tables& tables, double* out) {
    return AnalyseGranulePair<false>(history, base, input, tables, out);
}

[[gnu::target("avx2")]] int AnalyseGranulePairAvx2(float* history, int base, const double* input,
                                                   const AnalysisFilterbank::Tables& tables,
                                                   double* out) {
    return AnalyseGranulePair<true>(history, base, input, tables, out);
}

}  // namespace

AnalysisFilterbank::AnalysisFilterbank()
    : granule(HasAvx2() ? AnalyseGranuleAvx2 : AnalyseGranulePlain),
      granulePair(HasAvx2() ? AnalyseGranulePairAvx2 : AnalyseGranulePairPlain) {
    for (int i = 0; i < kBands; ++i) {
        for (int k = 0; k < kMatrixColumns; ++k) {
            cosineMatrix[i][k] = RoundToNineDecimals(std::cos((2 * i + 1) * (16 - k) * kAngleStep));
        }
    }
    // Column 16 + n holds cos((2i + 1) n pi / 64), whose row 31 - i is row i times (-1)^n;
    // for even n = 2p, row 15 - i is row i times (-1)^p.
    for (int p = 0; p < kHalfBands; ++p) {
        for (int i = 0; i < kHalfBands; ++i) {
            tables.odd[p][i] = static_cast<float>(cosineMatrix[i][kHalfBands + 2 * p + 1]);
        }
    }
    for (int q = 0; q < kQuarterBands; ++q) {
        for (int i = 0; i < kQuarterBands; ++i) {
            tables.evenOfEven[q][i] = static_cast<float>(cosineMatrix[i][kHalfBands + 4 * q]);
            tables.oddOfEven[q][i] = static_cast<float>(cosineMatrix[i][kHalfBands + 4 * q + 2]);
        }
    }
    // Scaling by a power of two is exact: the same products as scaling the samples.
    for (int i = 0; i < kTaps; ++i) {
        tables.window[i] = static_cast<float>(kAnalysisWindow[kTaps - 1 - i] * kInputScale);
    }
}

void AnalysisFilterbank::Reset() {
    for (auto& slotHistory : history) slotHistory.fill(0.0f);
    offset.fill(0);
}

const float* AnalysisFilterbank::Push(int slot, const double*& input) {
    offset[slot] = StoreNewest(history[slot].data(), offset[slot], input);
    input += kSamplesPerGranule;
    return Newest(history[slot].data(), offset[slot]);
}

void AnalysisFilterbank::WindowSubband(int slot, const double*& input, double* windowed) {
    const float* x = Push(slot, input);
    for (int i = 0; i < kTaps; ++i)
        windowed[i] = x[kTaps - 1 - i] * (kAnalysisWindow[i] * kInputScale);
}

void AnalysisFilterbank::FilterSubband(const double* windowed, double* out) const {
    std::array<double, kMatrixColumns> y;
    for (int k = 0; k < kMatrixColumns; ++k) {
        double sum = 0.0;
        for (int j = 0; j < 8; ++j) sum += windowed[k + kMatrixColumns * j];
        y[k] = sum;
    }
    std::array<double, kBands> z;
    FoldColumns(y.data(), z.data());
    for (int i = 0; i < kHalfBands; ++i) {
        double even = 0.0;
        double odd = 0.0;
        for (int p = 0; p < kHalfBands; ++p) {
            even += cosineMatrix[i][kHalfBands + 2 * p] * z[2 * p];
            odd += cosineMatrix[i][kHalfBands + 2 * p + 1] * z[2 * p + 1];
        }
        out[i] = even + odd;
        out[kBands - 1 - i] = even - odd;
    }
}

void AnalysisFilterbank::Analyse(int slot, const double*& input, double* out) {
    offset[slot] = granule(history[slot].data(), offset[slot], input, tables, out);
    input += kSamplesPerGranule;
}

void AnalysisFilterbank::AnalyseGranules(int slot, const double*& input, int count,
                                         double (*out)[kBands]) {
    int g = 0;
    for (; g + 2 <= count; g += 2) {
        offset[slot] = granulePair(history[slot].data(), offset[slot], input, tables, out[g]);
        input += 2 * kSamplesPerGranule;
    }
    if (g < count) Analyse(slot, input, out[g]);
}

}  // namespace tavrisk::mp2
