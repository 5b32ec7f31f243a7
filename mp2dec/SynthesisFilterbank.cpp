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

Lanes& LanesAt(float* at) {
    return *reinterpret_cast<Lanes*>(at);
}
const Lanes& LanesAt(const float* at) {
    return *reinterpret_cast<const Lanes*>(at);
}

// Factors 1 / (2 cos((2k + 1) pi / 2N)) of the odd half of an N-point transform.
template <int N>
struct OddFactors {
    alignas(32) std::array<float, N / 2> value{};
    OddFactors() {
        for (int k = 0; k < N / 2; ++k)
            value[k] = static_cast<float>(0.5 / std::cos((2 * k + 1) * std::numbers::pi / (2 * N)));
    }
};

// X[m] = sum_k x[k] cos(m (2k + 1) pi / 2N), m = 0..N-1, by halving: the even outputs are the
// half-length transform of x[k] + x[N-1-k]; with d[k] = (x[k] - x[N-1-k]) / (2 cos((2k + 1)
// pi / 2N)) and D its half-length transform, the odd outputs are X[2r+1] = D[r] + D[r+1]
// (D[N/2] = 0). About N log N / 2 products instead of N * N.
template <int N>
[[gnu::always_inline]] inline void Transform(const float* x, float* out) {
    if constexpr (N == 1) {
        out[0] = x[0];
    } else {
        static const OddFactors<N> factors;
        constexpr int kHalf = N / 2;
        alignas(32) float sum[kHalf];
        alignas(32) float diff[kHalf];
        for (int k = 0; k < kHalf; ++k) {
            sum[k] = x[k] + x[N - 1 - k];
            diff[k] = (x[k] - x[N - 1 - k]) * factors.value[k];
        }
        alignas(32) float even[kHalf];
        alignas(32) float odd[kHalf + 1];
        Transform<kHalf>(sum, even);
        Transform<kHalf>(diff, odd);
        odd[kHalf] = 0.0f;
        for (int r = 0; r < kHalf; ++r) {
            out[2 * r] = even[r];
            out[2 * r + 1] = odd[r] + odd[r + 1];
        }
    }
}

struct Window {
    alignas(32) std::array<float, kWindowLength> d{};
    Window() {
        for (int i = 0; i < kWindowLength; ++i) d[i] = static_cast<float>(SynthesisWindow(i));
    }
};

constexpr int kHistory = 1024;
constexpr int kShift = 64;

// Transforms the 32 subband samples, places the new 64 values V[i] = sum_k N(i, k) S[k] at
// `v`, windows the 512 values U taken from the history (from `offset` on) and sums the 16
// products of each output, the 32 outputs side by side.
[[gnu::always_inline]] inline void Synthesize(const double* subbands, float* history, int offset,
                                              double* output) {
    static const Window window;
    alignas(32) float s[kSubbands];
    for (int k = 0; k < kSubbands; ++k) s[k] = static_cast<float>(subbands[k]);
    alignas(32) float x[kSubbands];
    Transform<kSubbands>(s, x);

    float* v = history + offset;
    for (int i = 0; i < 16; ++i) v[i] = x[16 + i];
    v[16] = 0.0f;
    for (int i = 17; i < 48; ++i) v[i] = -x[48 - i];
    for (int i = 48; i < 64; ++i) v[i] = -x[i - 48];

    Lanes acc[kSubbands / kLanes] = {};
    for (int i = 0; i < 8; ++i) {
        const float* first = history + ((offset + 128 * i) & (kHistory - 1));
        const float* second = history + ((offset + 128 * i + 96) & (kHistory - 1));
        const float* d = window.d.data() + 64 * i;
#pragma GCC unroll 4
        for (int l = 0; l < kSubbands / kLanes; ++l) {
            const int j = kLanes * l;
            acc[l] += LanesAt(d + j) * LanesAt(first + j) +
                      LanesAt(d + kSubbands + j) * LanesAt(second + j);
        }
    }
    alignas(32) float sums[kSubbands];
#pragma GCC unroll 4
    for (int l = 0; l < kSubbands / kLanes; ++l) LanesAt(sums + kLanes * l) = acc[l];
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
