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
            kernel[phase][tap] = KernelValue(d, reach);
            sum += kernel[phase][tap];
        }
        for (double& k : kernel[phase]) k /= sum;
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
    for (int j = 0; j < kFrameSamples; ++j) {
        const int t = j + kFirstTime;
        const double* taps = history.data() + t / kStep - kHalfTaps + 1;
        const auto& k = kernel[t % kStep];
        double acc = 0.0;
        for (int tap = 0; tap < kTaps; ++tap) acc += k[tap] * taps[tap];
        output[j] = acc;
    }
}

}  // namespace tavrisk::mp2dec
