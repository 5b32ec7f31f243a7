// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/SynthesisFilterbank.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace tavrisk::mp2dec {

namespace {

// Eight floats side by side, read from any float. Products and sums stay separate (never
// fused), so each lane's value does not depend on the width the processor offers. (A
// typedef: clang ignores the lowered alignment on an alias declaration and would load
// unaligned data with aligned instructions.)
typedef float Lanes __attribute__((vector_size(32), aligned(4), may_alias));
constexpr int kLanes = 8;

const Lanes& LanesAt(const float* at) {
    return *reinterpret_cast<const Lanes*>(at);
}
void StoreLanes(float* at, const Lanes& lanes) {
    *reinterpret_cast<Lanes*>(at) = lanes;
}
// Four doubles: a pair of floats as one value, to spread it over the eight lanes.
using Pairs = double __attribute__((vector_size(32)));

constexpr int kHistory = 1024;
constexpr int kShift = 64;
constexpr int kPairs = kSubbands / 2;

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
    // The pairs side by side (sum, difference), in double precision before rounding.
    alignas(32) float pairs[kSubbands];
    for (int k = 0; k < kPairs; ++k) {
        pairs[2 * k] = static_cast<float>(subbands[k] + subbands[kSubbands - 1 - k]);
        pairs[2 * k + 1] = static_cast<float>(subbands[k] - subbands[kSubbands - 1 - k]);
    }
    // Four named sums, so that all stay in registers.
    Lanes x0 = {}, x1 = {}, x2 = {}, x3 = {};
    for (int k = 0; k < kPairs; ++k) {
        double bits;
        std::memcpy(&bits, pairs + 2 * k, sizeof bits);
        const Lanes pair = reinterpret_cast<Lanes>(Pairs{bits, bits, bits, bits});
        const float* column = kTransform.column[k].data();
        x0 += LanesAt(column) * pair;
        x1 += LanesAt(column + kLanes) * pair;
        x2 += LanesAt(column + 2 * kLanes) * pair;
        x3 += LanesAt(column + 3 * kLanes) * pair;
    }
    // V[16 + j] = -X[32 - j] with X[32] = 0: each run of eight is two neighbouring runs of X
    // shifted by one and reversed.
    const Lanes zero = {};
    float* v = history + offset;
    StoreLanes(v, x2);
    StoreLanes(v + kLanes, x3);
    StoreLanes(v + 2 * kLanes, -__builtin_shufflevector(x3, zero, 8, 7, 6, 5, 4, 3, 2, 1));
    StoreLanes(v + 3 * kLanes, -__builtin_shufflevector(x2, x3, 8, 7, 6, 5, 4, 3, 2, 1));
    StoreLanes(v + 4 * kLanes, -__builtin_shufflevector(x1, x2, 8, 7, 6, 5, 4, 3, 2, 1));
    StoreLanes(v + 5 * kLanes, -__builtin_shufflevector(x0, x1, 8, 7, 6, 5, 4, 3, 2, 1));
    StoreLanes(v + 6 * kLanes, -x0);
    StoreLanes(v + 7 * kLanes, -x1);
    v[16] = 0.0f;

    Lanes a0 = {}, a1 = {}, a2 = {}, a3 = {};
    for (int i = 0; i < 8; ++i) {
        const float* first = history + ((offset + 128 * i) & (kHistory - 1));
        const float* second = history + ((offset + 128 * i + 96) & (kHistory - 1));
        const float* d = kWindow.d.data() + 64 * i;
        const float* e = d + kSubbands;
        a0 += LanesAt(d) * LanesAt(first) + LanesAt(e) * LanesAt(second);
        a1 += LanesAt(d + kLanes) * LanesAt(first + kLanes) +
              LanesAt(e + kLanes) * LanesAt(second + kLanes);
        a2 += LanesAt(d + 2 * kLanes) * LanesAt(first + 2 * kLanes) +
              LanesAt(e + 2 * kLanes) * LanesAt(second + 2 * kLanes);
        a3 += LanesAt(d + 3 * kLanes) * LanesAt(first + 3 * kLanes) +
              LanesAt(e + 3 * kLanes) * LanesAt(second + 3 * kLanes);
    }
    alignas(32) float sums[kSubbands];
    StoreLanes(sums, a0);
    StoreLanes(sums + kLanes, a1);
    StoreLanes(sums + 2 * kLanes, a2);
    StoreLanes(sums + 3 * kLanes, a3);
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
