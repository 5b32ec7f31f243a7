// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/SynthesisFilterbank.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavrisk::mp2dec {

namespace {

// Eight floats side by side, read from any float. Products and sums stay separate (never
// fused), so each lane's value does not depend on the width the processor offers.
using Lanes = float __attribute__((vector_size(32), aligned(4), may_alias));
constexpr int kLanes = 8;

const Lanes& LanesAt(const float* at) {
    return *reinterpret_cast<const Lanes*>(at);
}

constexpr int kHistory = 1024;
constexpr int kShift = 64;
constexpr int kPairs = kSubbands / 2;
constexpr int kBlocks = kSubbands / kLanes;

// The transform X[m] = sum_k S[k] cos(m (2k + 1) pi / 64), m = 0..31, on the pairs
// S[k] + S[31-k] (even m) and S[k] - S[31-k] (odd m), k = 0..15: the cosines of pair k are
// kept by column, each m in the lane of its parity, so that one column multiplies the pair
// (sum, difference) spread over the lanes and the outputs come out in their order.
struct TransformColumns {
    alignas(32) std::array<std::array<float, kSubbands>, kPairs> column{};
    TransformColumns() {
        for (int k = 0; k < kPairs; ++k)
            for (int m = 0; m < kSubbands; ++m)
                column[k][m] =
                    static_cast<float>(std::cos(m * (2 * k + 1) * std::numbers::pi / 64.0));
    }
};

struct Window {
    alignas(32) std::array<float, kWindowLength> d{};
    Window() {
        for (int i = 0; i < kWindowLength; ++i) d[i] = static_cast<float>(SynthesisWindow(i));
    }
};

const TransformColumns kTransform;
const Window kWindow;

// Transforms the 32 subband samples, places the new 64 values V[i] = sum_k N(i, k) S[k] at
// `v` (V[0..15] = X[16..31], V[16] = 0, V[17..47] = -X[31..1], V[48..63] = -X[0..15]), then
// windows the 512 values U taken from the history (from `offset` on) and sums the 16
// products of each output, the 32 outputs side by side.
[[gnu::always_inline]] inline void Synthesize(const double* subbands, float* history, int offset,
                                              double* output) {
    Lanes x[kBlocks + 1] = {};  // X[32] = 0 after the outputs, for the reversed run of V
    for (int k = 0; k < kPairs; ++k) {
        const auto sum = static_cast<float>(subbands[k] + subbands[kSubbands - 1 - k]);
        const auto diff = static_cast<float>(subbands[k] - subbands[kSubbands - 1 - k]);
        const Lanes pair = {sum, diff, sum, diff, sum, diff, sum, diff};
        const float* column = kTransform.column[k].data();
#pragma GCC unroll 4
        for (int b = 0; b < kBlocks; ++b) x[b] += LanesAt(column + kLanes * b) * pair;
    }
    const float* xs = reinterpret_cast<const float*>(x);
    float* v = history + offset;
    for (int i = 0; i < 16; ++i) v[i] = xs[16 + i];
    for (int i = 16; i < 48; ++i) v[i] = -xs[48 - i];
    for (int i = 48; i < 64; ++i) v[i] = -xs[i - 48];
    v[16] = 0.0f;

    Lanes acc[kBlocks] = {};
    for (int i = 0; i < 8; ++i) {
        const float* first = history + ((offset + 128 * i) & (kHistory - 1));
        const float* second = history + ((offset + 128 * i + 96) & (kHistory - 1));
        const float* d = kWindow.d.data() + 64 * i;
#pragma GCC unroll 4
        for (int b = 0; b < kBlocks; ++b) {
            const int j = kLanes * b;
            acc[b] += LanesAt(d + j) * LanesAt(first + j) +
                      LanesAt(d + kSubbands + j) * LanesAt(second + j);
        }
    }
    const float* sums = reinterpret_cast<const float*>(acc);
    for (int j = 0; j < kSubbands; ++j) output[j] = sums[j];
}

using SynthesisFunction = void (*)(const double*, float*, int, double*);

void SynthesizePlain(const double* subbands, float* history, int offset, double* output) {
    Synthesize(subbands, history, offset, output);
}
// The same built for AVX2 (without fused multiply-add, so the same values): picked by a
// plain test of the processor.
[[gnu::target("avx2")]] void SynthesizeAvx2(const double* subbands, float* history, int offset,
                                            double* output) {
    Synthesize(subbands, history, offset, output);
}

bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool AllZero(const std::array<double, kSubbands>& subbands) {
    return std::all_of(subbands.begin(), subbands.end(), [](double s) { return s == 0.0; });
}

}  // namespace

SynthesisFilterbank::SynthesisFilterbank() {
    Reset();
}

void SynthesisFilterbank::Reset() {
    history.fill(0.0f);
    offset = 0;
    silentRuns = kRunsToSilence;
}

void SynthesisFilterbank::Run(const std::array<double, kSubbands>& subbands, double* output) {
    static const SynthesisFunction synthesize = HasAvx2() ? SynthesizeAvx2 : SynthesizePlain;
    // Once the history holds nothing but zeros, silence in gives silence out.
    if (AllZero(subbands)) {
        if (silentRuns >= kRunsToSilence) {
            std::fill(output, output + kSubbands, 0.0);
            return;
        }
        ++silentRuns;
    } else {
        silentRuns = 0;
    }
    offset = (offset - kShift) & (kHistory - 1);
    synthesize(subbands.data(), history.data(), offset, output);
}

}  // namespace tavrisk::mp2dec
