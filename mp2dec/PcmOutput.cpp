// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/PcmOutput.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>

namespace tavrisk::mp2dec {

namespace {

constexpr double kFullScale = 32768.0;
constexpr double kLowest = -32768.0;
constexpr double kHighest = 32767.0;
constexpr int kBlock = 8;

inline int16_t ToPcm(double value) {
    const double scaled = std::clamp(value * kFullScale, kLowest, kHighest);
    return static_cast<int16_t>(scaled + std::copysign(0.5, scaled));
}

void InterleavePlain(const double* const* channel, int channels, int samples, int16_t* output) {
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < samples; ++i) output[i * channels + c] = ToPcm(channel[c][i]);
}

// ToPcm of four values side by side, each lane with the scalar's operations.
[[gnu::target("avx2")]] inline __m128i ToPcm4(const double* in) {
    const __m256d scaled =
        _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(_mm256_loadu_pd(in), _mm256_set1_pd(kFullScale)),
                                    _mm256_set1_pd(kLowest)),
                      _mm256_set1_pd(kHighest));
    const __m256d half =
        _mm256_or_pd(_mm256_and_pd(scaled, _mm256_set1_pd(-0.0)), _mm256_set1_pd(0.5));
    return _mm256_cvttpd_epi32(_mm256_add_pd(scaled, half));
}

// Eight values of one channel as 16-bit values.
[[gnu::target("avx2")]] inline __m128i ToPcm8(const double* in) {
    return _mm_packs_epi32(ToPcm4(in), ToPcm4(in + 4));
}

[[gnu::target("avx2")]] void InterleaveAvx2(const double* const* channel, int channels, int samples,
                                            int16_t* output) {
    if (channels == 2) {
        for (int i = 0; i < samples; i += kBlock) {
            const __m128i left = ToPcm8(channel[0] + i);
            const __m128i right = ToPcm8(channel[1] + i);
            auto* out = reinterpret_cast<__m128i*>(output + 2 * i);
            _mm_storeu_si128(out, _mm_unpacklo_epi16(left, right));
            _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(left, right));
        }
        return;
    }
    alignas(16) int16_t block[kBlock];
    for (int c = 0; c < channels; ++c) {
        for (int i = 0; i < samples; i += kBlock) {
            _mm_store_si128(reinterpret_cast<__m128i*>(block), ToPcm8(channel[c] + i));
            for (int j = 0; j < kBlock; ++j) output[(i + j) * channels + c] = block[j];
        }
    }
}

using InterleaveFunction = void (*)(const double* const*, int, int, int16_t*);

}  // namespace

void InterleavePcm(const double* const* channel, int channels, int samples, int16_t* output) {
    static const InterleaveFunction interleave = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? InterleaveAvx2 : InterleavePlain;
    }();
    interleave(channel, channels, samples, output);
}

}  // namespace tavrisk::mp2dec
