// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/LfeInterpolator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavrisk::mp2dec {

namespace {

// sinc of distance d (in output samples) windowed by a Hann window of half-width `reach`.
double KernelValue(double d, double reach) {
    if (std::abs(d) >= reach) return 0.0;
    const double x = d / LfeInterpolator::kStep;
    const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
    const double hann = 0.5 + 0.5 * std::cos(std::numbers::pi * d / reach);
    return sinc * hann;
}

}  // namespace

LfeInterpolator::LfeInterpolator() {
    const double reach = static_cast<double>(kHalfTaps * kStep);
    for (int phase = 0; phase < kStep; ++phase) {
        // Output at time t = 96 q + phase uses samples q - kHalfTaps + 1 .. q + kHalfTaps.
        double sum = 0.0;
        for (int tap = 0; tap < kTaps; ++tap) {
            const double d = phase - (tap - kHalfTaps + 1) * kStep;
            kernelByTap[tap][phase] = KernelValue(d, reach);
            sum += kernelByTap[tap][phase];
        }
        for (int tap = 0; tap < kTaps; ++tap) kernelByTap[tap][phase] /= sum;
    }
}

// Four outputs at a time, in two pairs, each summed over its taps in order from zero, as one
// at a time.
void LfeInterpolator::InterpolateRun(const double* taps, int phase, int count,
                                     double* output) const {
    typedef double Doubles2 __attribute__((vector_size(16), aligned(8), may_alias));
    constexpr int kLanes = 4;
    int j = 0;
    for (; j + kLanes <= count; j += kLanes) {
        Doubles2 first = {}, second = {};
#pragma GCC unroll 10
        for (int tap = 0; tap < kTaps; ++tap) {
            const double* k = &kernelByTap[tap][phase + j];
            first += *reinterpret_cast<const Doubles2*>(k) * taps[tap];
            second += *reinterpret_cast<const Doubles2*>(k + 2) * taps[tap];
        }
        *reinterpret_cast<Doubles2*>(output + j) = first;
        *reinterpret_cast<Doubles2*>(output + j + 2) = second;
    }
    for (; j < count; ++j) {
        double acc = 0.0;
        for (int tap = 0; tap < kTaps; ++tap) acc += kernelByTap[tap][phase + j] * taps[tap];
        output[j] = acc;
    }
}

void LfeInterpolator::Reset() {
    history.fill(0.0);
}

void LfeInterpolator::Run(const std::array<double, kLfeSamples>& samples, double* output) {
    std::copy(history.begin() + kLfeSamples, history.end(), history.begin());
    std::copy(samples.begin(), samples.end(), history.begin() + kLfeSamples);
    if (std::all_of(history.begin(), history.end(), [](double s) { return s == 0.0; })) {
        std::fill(output, output + kFrameSamples, 0.0);
        return;
    }
    // Output j of this frame is the interpolated value at LFE time (j - kDelay) / 96,
    // counted from the first sample of the previous frame. Every tap of every output falls
    // within the two frames of the history.
    constexpr int kFirstTime = kFrameSamples - kDelay;
    constexpr int kLastTime = 2 * kFrameSamples - 1 - kDelay;
    static_assert(kFirstTime / kStep - kHalfTaps + 1 >= 0);
    static_assert(kLastTime / kStep + kHalfTaps < 2 * kLfeSamples);
    for (int j = 0; j < kFrameSamples;) {
        const int t = j + kFirstTime;
        const int phase = t % kStep;
        const int count = std::min(kStep - phase, kFrameSamples - j);
        InterpolateRun(history.data() + t / kStep - kHalfTaps + 1, phase, count, output + j);
        j += count;
    }
}

}  // namespace tavrisk::mp2dec
