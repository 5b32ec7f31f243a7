// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/AnalysisFilterbank.h"

#include <cmath>

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

using Columns = std::array<double, kSubbands>;

// Four doubles side by side, read from any double; each lane is computed exactly as its
// scalar expression.
// A typedef, not an alias declaration: clang ignores the lowered alignment on the latter and
// would load the unaligned rows as aligned vectors.
typedef double Lanes __attribute__((vector_size(32), aligned(8), may_alias));
constexpr int kLanes = 4;

// Same arithmetic and summation order as windowSubband + filterSubband, arranged so that the
// sums of one step stay in registers: y[k] over the eight window rows, then the 32 outputs
// side by side over the 64 columns.
[[gnu::always_inline]] inline void AnalyseGranule(const double* x, const Columns* transposed,
                                                  double* out) {
    constexpr int kColumns = AnalysisFilterbank::kMatrixColumns;
    constexpr int kRows = kWindowSize / kColumns;
    constexpr int kHalf = kColumns / 2;
    constexpr int kVectors = kHalf / kLanes;  // 8 lanes of 4 sums
    alignas(32) std::array<double, kColumns> y;
    for (int h = 0; h < kColumns; h += kHalf) {
        Lanes sum[kVectors] = {};
        for (int j = 0; j < kRows; ++j) {
            const int at = j * kColumns + h;
            // Unrolled, so that the sums are registers rather than memory (-O2 keeps the loop).
#pragma GCC unroll 8
            for (int v = 0; v < kVectors; ++v) {
                sum[v] += *reinterpret_cast<const Lanes*>(x + at + kLanes * v) *
                          *reinterpret_cast<const Lanes*>(kAnalysisWindow.data() + at + kLanes * v);
            }
        }
        // Stored lane by lane rather than copied whole, which would keep the sums in memory.
#pragma GCC unroll 8
        for (int v = 0; v < kVectors; ++v) *reinterpret_cast<Lanes*>(&y[h + kLanes * v]) = sum[v];
    }
    Lanes acc[kSubbands / kLanes] = {};
    for (int k = 0; k < kColumns; ++k) {
        const double yk = y[k];
        const double* column = transposed[k].data();
#pragma GCC unroll 8
        for (int v = 0; v < kSubbands / kLanes; ++v) {
            acc[v] += *reinterpret_cast<const Lanes*>(column + kLanes * v) * yk;
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < kSubbands / kLanes; ++v)
        *reinterpret_cast<Lanes*>(out + kLanes * v) = acc[v];
}

void AnalyseGranulePlain(const double* x, const Columns* transposed, double* out) {
    AnalyseGranule(x, transposed, out);
}

// The same built for AVX2: wider registers, the same separate multiplies and additions (no
// fused ones), so the same values. Chosen when the processor has it; picked by a plain test
// rather than an ifunc, whose resolver runs before the thread sanitizer is set up.
[[gnu::target("avx2")]] void AnalyseGranuleAvx2(const double* x, const Columns* transposed,
                                                double* out) {
    AnalyseGranule(x, transposed, out);
}

AnalysisFilterbank::GranuleFunction PickGranuleFunction() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? AnalyseGranuleAvx2 : AnalyseGranulePlain;
}

}  // namespace

AnalysisFilterbank::AnalysisFilterbank() : granule(PickGranuleFunction()) {
    for (int i = 0; i < kBands; ++i) {
        for (int k = 0; k < kMatrixColumns; ++k) {
            cosineMatrix[i][k] = RoundToNineDecimals(std::cos((2 * i + 1) * (16 - k) * kAngleStep));
            transposedMatrix[k][i] = cosineMatrix[i][k];
        }
    }
}

void AnalysisFilterbank::Reset() {
    for (auto& slotHistory : history) slotHistory.fill(0.0);
    offset.fill(0);
}

int AnalysisFilterbank::Push(int slot, const double*& input) {
    auto& x = history[slot];
    const int base = offset[slot];
    for (int i = 0; i < kSamplesPerGranule; ++i) {
        // Each sample is kept twice, so that the 512 values from `base` on lie in a row.
        x[base + 31 - i] = x[base + 31 - i + kTaps] = *input++ * kInputScale;
    }
    offset[slot] = (base - kSamplesPerGranule) & (kTaps - 1);
    return base;
}

void AnalysisFilterbank::WindowSubband(int slot, const double*& input, double* windowed) {
    const double* x = history[slot].data() + Push(slot, input);
    for (int i = 0; i < kTaps; ++i) windowed[i] = x[i] * kAnalysisWindow[i];
}

void AnalysisFilterbank::FilterSubband(const double* windowed, double* out) const {
    std::array<double, kMatrixColumns> y;
    for (int k = 0; k < kMatrixColumns; ++k) {
        double sum = 0.0;
        for (int j = 0; j < 8; ++j) sum += windowed[k + kMatrixColumns * j];
        y[k] = sum;
    }
    for (int i = 0; i < kBands; ++i) {
        double sum = 0.0;
        for (int k = 0; k < kMatrixColumns; ++k) sum += cosineMatrix[i][k] * y[k];
        out[i] = sum;
    }
}

void AnalysisFilterbank::Analyse(int slot, const double*& input, double* out) {
    granule(history[slot].data() + Push(slot, input), transposedMatrix.data(), out);
}

}  // namespace tavrisk::mp2
