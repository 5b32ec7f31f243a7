// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/SynthesisFilterbank.h"

#include <cmath>
#include <numbers>

namespace tavrisk::mp2dec {

namespace {

// Four doubles side by side, read from any double; each lane is computed exactly as its
// scalar expression, so the values do not depend on the width the processor offers. (A
// typedef: clang ignores the lowered alignment on an alias declaration and would load
// unaligned data with aligned instructions.)
typedef double Lanes __attribute__((vector_size(32), aligned(8), may_alias));
constexpr int kLanes = 4;

Lanes& LanesAt(double* at) {
    return *reinterpret_cast<Lanes*>(at);
}
const Lanes& LanesAt(const double* at) {
    return *reinterpret_cast<const Lanes*>(at);
}

// X[m] = sum_k x[k] cos(m (2k + 1) pi / 64), m = 0..31, computed by splitting even and
// odd outputs: the even ones are the same transform of half the length on x[k] + x[N-1-k],
// the odd ones a product with a cosine matrix on x[k] - x[N-1-k]. The matrix is kept by
// column, so that the odd outputs are summed side by side, each in the order of k.
template <int N>
struct Cosines {
    std::array<std::array<double, N / 2>, N / 2> byColumn{};
    Cosines() {
        for (int r = 0; r < N / 2; ++r)
            for (int k = 0; k < N / 2; ++k)
                byColumn[k][r] = std::cos((2 * r + 1) * (2 * k + 1) * std::numbers::pi / (2 * N));
    }
};

template <int N>
[[gnu::always_inline]] inline void Transform(const double* x, double* out, int stride) {
    if constexpr (N == 1) {
        out[0] = x[0];
    } else {
        static const Cosines<N> cosines;
        constexpr int kHalf = N / 2;
        double sum[kHalf];
        double diff[kHalf];
        for (int k = 0; k < kHalf; ++k) {
            sum[k] = x[k] + x[N - 1 - k];
            diff[k] = x[k] - x[N - 1 - k];
        }
        Transform<kHalf>(sum, out, stride * 2);
        alignas(32) double odd[kHalf] = {};
        if constexpr (kHalf % kLanes == 0) {
            Lanes acc[kHalf / kLanes] = {};
            for (int k = 0; k < kHalf; ++k) {
#pragma GCC unroll 4
                for (int v = 0; v < kHalf / kLanes; ++v)
                    acc[v] += LanesAt(cosines.byColumn[k].data() + kLanes * v) * diff[k];
            }
#pragma GCC unroll 4
            for (int v = 0; v < kHalf / kLanes; ++v) LanesAt(odd + kLanes * v) = acc[v];
        } else {
            for (int k = 0; k < kHalf; ++k)
                for (int r = 0; r < kHalf; ++r) odd[r] += cosines.byColumn[k][r] * diff[k];
        }
        for (int r = 0; r < kHalf; ++r) out[(2 * r + 1) * stride] = odd[r];
    }
}

struct Window {
    std::array<double, kWindowLength> d{};
    Window() {
        for (int i = 0; i < kWindowLength; ++i) d[i] = SynthesisWindow(i);
    }
};

// Windows the 512 values U taken from the history (from `offset` on) and sums the 16
// products of each output, the 32 outputs side by side.
[[gnu::always_inline]] inline void WindowOutputs(const double* history, int offset,
                                                 double* output) {
    static const Window window;
    constexpr int kHistory = 1024;
    Lanes acc[kSubbands / kLanes] = {};
    for (int i = 0; i < 8; ++i) {
        const double* first = history + ((offset + 128 * i) & (kHistory - 1));
        const double* second = history + ((offset + 128 * i + 96) & (kHistory - 1));
        const double* d = window.d.data() + 64 * i;
#pragma GCC unroll 8
        for (int v = 0; v < kSubbands / kLanes; ++v) {
            const int j = kLanes * v;
            acc[v] += LanesAt(d + j) * LanesAt(first + j) +
                      LanesAt(d + kSubbands + j) * LanesAt(second + j);
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < kSubbands / kLanes; ++v) LanesAt(output + kLanes * v) = acc[v];
}

using TransformFunction = void (*)(const double*, double*);
using WindowFunction = void (*)(const double*, int, double*);

void TransformPlain(const double* x, double* out) {
    Transform<kSubbands>(x, out, 1);
}
void WindowPlain(const double* history, int offset, double* output) {
    WindowOutputs(history, offset, output);
}
// The same built for AVX2: wider registers, the same separate multiplies and additions (no
// fused ones), so the same values. Picked by a plain test of the processor.
[[gnu::target("avx2")]] void TransformAvx2(const double* x, double* out) {
    Transform<kSubbands>(x, out, 1);
}
[[gnu::target("avx2")]] void WindowAvx2(const double* history, int offset, double* output) {
    WindowOutputs(history, offset, output);
}

bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

}  // namespace

SynthesisFilterbank::SynthesisFilterbank() {
    Reset();
}

void SynthesisFilterbank::Reset() {
    history.fill(0.0);
    offset = 0;
}

void SynthesisFilterbank::Run(const std::array<double, kSubbands>& subbands, double* output) {
    static const bool avx2 = HasAvx2();
    static const TransformFunction transform = avx2 ? TransformAvx2 : TransformPlain;
    static const WindowFunction windowOutputs = avx2 ? WindowAvx2 : WindowPlain;
    double x[kSubbands];
    transform(subbands.data(), x);

    // Shift the history by 64 and place the new 64 values: V[i] = sum_k N(i, k) S[k].
    offset = (offset - kShift) & (kHistory - 1);
    double* v = history.data() + offset;
    for (int i = 0; i < 16; ++i) v[i] = x[16 + i];
    v[16] = 0.0;
    for (int i = 17; i < 48; ++i) v[i] = -x[48 - i];
    for (int i = 48; i < 64; ++i) v[i] = -x[i - 48];
    windowOutputs(history.data(), offset, output);
}

}  // namespace tavrisk::mp2dec
