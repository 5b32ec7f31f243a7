#include "mp2dec/SynthesisFilterbank.h"

#include <cmath>
#include <numbers>

namespace tavrisk::mp2dec {

namespace {

// X[m] = sum_k x[k] cos(m (2k + 1) pi / 64), m = 0..31, computed by splitting even and
// odd outputs: the even ones are the same transform of half the length on x[k] + x[N-1-k],
// the odd ones a product with a cosine matrix on x[k] - x[N-1-k].
template <int N>
struct Cosines {
    std::array<std::array<double, N / 2>, N / 2> odd{};
    Cosines() {
        for (int r = 0; r < N / 2; ++r)
            for (int k = 0; k < N / 2; ++k)
                odd[r][k] = std::cos((2 * r + 1) * (2 * k + 1) * std::numbers::pi / (2 * N));
    }
};

template <int N>
void Transform(const double* x, double* out, int stride) {
    if constexpr (N == 1) {
        out[0] = x[0];
    } else {
        static const Cosines<N> cosines;
        double sum[N / 2];
        double diff[N / 2];
        for (int k = 0; k < N / 2; ++k) {
            sum[k] = x[k] + x[N - 1 - k];
            diff[k] = x[k] - x[N - 1 - k];
        }
        Transform<N / 2>(sum, out, stride * 2);
        for (int r = 0; r < N / 2; ++r) {
            double acc = 0.0;
            for (int k = 0; k < N / 2; ++k) acc += cosines.odd[r][k] * diff[k];
            out[(2 * r + 1) * stride] = acc;
        }
    }
}

struct Window {
    std::array<double, kWindowLength> d{};
    Window() {
        for (int i = 0; i < kWindowLength; ++i) d[i] = SynthesisWindow(i);
    }
};

}  // namespace

SynthesisFilterbank::SynthesisFilterbank() {
    Reset();
}

void SynthesisFilterbank::Reset() {
    history.fill(0.0);
    offset = 0;
}

void SynthesisFilterbank::Run(const std::array<double, kSubbands>& subbands, double* output) {
    static const Window window;
    double x[kSubbands];
    Transform<kSubbands>(subbands.data(), x, 1);

    // Shift the history by 64 and place the new 64 values: V[i] = sum_k N(i, k) S[k].
    offset = (offset - kShift) & (kHistory - 1);
    double* v = history.data() + offset;
    for (int i = 0; i < 16; ++i) v[i] = x[16 + i];
    v[16] = 0.0;
    for (int i = 17; i < 48; ++i) v[i] = -x[48 - i];
    for (int i = 48; i < 64; ++i) v[i] = -x[i - 48];

    // Window the 512 values U taken from V and sum the 16 products of each output.
    double acc[kSubbands] = {};
    for (int i = 0; i < 8; ++i) {
        const double* first = history.data() + ((offset + 128 * i) & (kHistory - 1));
        const double* second = history.data() + ((offset + 128 * i + 96) & (kHistory - 1));
        const double* d = window.d.data() + 64 * i;
        for (int j = 0; j < kSubbands; ++j) acc[j] += d[j] * first[j] + d[32 + j] * second[j];
    }
    for (int j = 0; j < kSubbands; ++j) output[j] = acc[j];
}

}  // namespace tavrisk::mp2dec
