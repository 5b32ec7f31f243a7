// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/TruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavrisk {

namespace {

// Samples of a channel measured at a time.
constexpr std::size_t kRunSamples = 4096;
// The oversampled signal reaches at least this rate.
constexpr int kOversampledRate = 192000;
// Float rounding of a sum of twelve products stays well inside this share of the bound.
constexpr float kBoundMargin = 1.0f + 1e-5f;

// Eight floats side by side, read from any float.
typedef float Floats __attribute__((vector_size(32), aligned(4), may_alias));
constexpr std::size_t kLanes = 8;

using Taps = std::array<float, TruePeakMeter::kTapsPerPhase>;

float LargestLane(const Floats& lanes) {
    float largest = 0.0f;
    for (std::size_t i = 0; i < kLanes; ++i) largest = std::max(largest, lanes[i]);
    return largest;
}

// One interpolated output: `x` holds the taps' history and then the sample.
[[gnu::always_inline]] inline float OneOutput(const float* x, const Taps& taps) {
    constexpr std::size_t kLast = TruePeakMeter::kTapsPerPhase - 1;
    float sum = 0.0f;
    for (std::size_t k = 0; k <= kLast; ++k) sum += taps[k] * x[kLast - k];
    return std::fabs(sum);
}

// Raises each lane of `top` to the magnitude of `value`'s where that is larger; the
// magnitude is the value with its sign bit cleared (NaN stays NaN and raises nothing).
[[gnu::always_inline]] inline void RaiseToMagnitude(Floats& top, const Floats& value) {
    typedef int Ints __attribute__((vector_size(32)));
    constexpr int kAllButSign = 0x7fffffff;
    const Floats magnitude =
        reinterpret_cast<Floats>(reinterpret_cast<const Ints&>(value) & kAllButSign);
    top = magnitude > top ? magnitude : top;
}

// The largest magnitude of `phaseCount` interpolated phases over `count` outputs; `x` holds
// the taps' history (one sample fewer than the taps) and then the `count` samples. The phases
// share each output's twelve samples, read once; each phase's sum runs over its taps in
// order, so that every output is the one a phase computed alone gives.
template <std::size_t kPhases>
[[gnu::always_inline]] inline float PeakOfPhases(const float* x, std::size_t count,
                                                 const Taps* phaseTaps) {
    constexpr std::size_t kLast = TruePeakMeter::kTapsPerPhase - 1;
    // Each tap in every lane, so that the products read it from memory and the registers
    // hold the phases' sums.
    Floats spread[kPhases][kLast + 1];
    for (std::size_t p = 0; p < kPhases; ++p) {
        for (std::size_t k = 0; k <= kLast; ++k) spread[p][k] = Floats{} + phaseTaps[p][k];
    }
    Floats top[kPhases] = {};
    std::size_t j = 0;
    for (; j + kLanes <= count; j += kLanes) {
        Floats sum[kPhases] = {};
#pragma GCC unroll 12
        for (std::size_t k = 0; k <= kLast; ++k) {
            const Floats samples = *reinterpret_cast<const Floats*>(x + j + kLast - k);
#pragma GCC unroll 3
            for (std::size_t p = 0; p < kPhases; ++p) sum[p] += spread[p][k] * samples;
        }
#pragma GCC unroll 3
        for (std::size_t p = 0; p < kPhases; ++p) RaiseToMagnitude(top[p], sum[p]);
    }
    float largest = 0.0f;
    for (std::size_t p = 0; p < kPhases; ++p) largest = std::max(largest, LargestLane(top[p]));
    for (std::size_t p = 0; p < kPhases; ++p) {
        for (std::size_t i = j; i < count; ++i)
            largest = std::max(largest, OneOutput(x + i, phaseTaps[p]));
    }
    return largest;
}

// The largest magnitude of `count` samples.
[[gnu::always_inline]] inline float SamplePeak(const float* x, std::size_t count) {
    Floats top = {};
    std::size_t j = 0;
    for (; j + kLanes <= count; j += kLanes) {
        RaiseToMagnitude(top, *reinterpret_cast<const Floats*>(x + j));
    }
    float largest = LargestLane(top);
    for (; j < count; ++j) largest = std::max(largest, std::fabs(x[j]));
    return largest;
}

// The kernels, built for the plain processor and for one with AVX2 and fused multiply-adds:
// the sample peak, and the peak of the three phases of four times oversampling or of the one
// of twice.
using PhasesKernel = float (*)(const float*, std::size_t, const Taps*);
struct Kernels {
    float (*samplePeak)(const float*, std::size_t);
    PhasesKernel peakOfThree;
    PhasesKernel peakOfOne;
};

float SamplePeakPlain(const float* x, std::size_t count) {
    return SamplePeak(x, count);
}

float PeakOfThreePlain(const float* x, std::size_t count, const Taps* taps) {
    return PeakOfPhases<3>(x, count, taps);
}

float PeakOfOnePlain(const float* x, std::size_t count, const Taps* taps) {
    return PeakOfPhases<1>(x, count, taps);
}

[[gnu::target("avx2,fma")]] float SamplePeakAvx2(const float* x, std::size_t count) {
    return SamplePeak(x, count);
}

[[gnu::target("avx2,fma")]] float PeakOfThreeAvx2(const float* x, std::size_t count,
                                                  const Taps* taps) {
    return PeakOfPhases<3>(x, count, taps);
}

[[gnu::target("avx2,fma")]] float PeakOfOneAvx2(const float* x, std::size_t count,
                                                const Taps* taps) {
    return PeakOfPhases<1>(x, count, taps);
}

// Chosen by a plain test rather than an ifunc, whose resolver runs before the thread
// sanitizer is set up.
Kernels PickKernels() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return {SamplePeakAvx2, PeakOfThreeAvx2, PeakOfOneAvx2};
    return {SamplePeakPlain, PeakOfThreePlain, PeakOfOnePlain};
}

const Kernels kKernels = PickKernels();

int OversamplingOf(int sampleRate) {
    int factor = 1;
    while (factor < 4 && sampleRate * factor < kOversampledRate) factor *= 2;
    return factor;
}

}  // namespace

TruePeakMeter::Phases TruePeakMeter::MakePhases(int factor) {
    // A Hann-windowed sinc cut at the original rate's Nyquist frequency, centred on a sample:
    // its phase 0 is that sample alone, phases 1 .. factor-1 have twelve taps each.
    const int length = kTapsPerPhase * factor + 1;
    const double centre = (length - 1) / 2.0;
    const auto prototype = [&](int m) {
        const double t = (m - centre) / factor;
        const double sinc =
            t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        const double window = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * m / (length - 1)));
        return sinc * window;
    };
    Phases made;
    made.largestGain = 0.0f;
    for (int p = 1; p < factor; ++p) {
        std::array<double, kTapsPerPhase> exact{};
        double sum = 0.0;
        for (int k = 0; k < kTapsPerPhase; ++k) sum += exact[k] = prototype(p + factor * k);
        Taps taps{};
        double gain = 0.0;
        // Each phase passes a constant unchanged.
        for (int k = 0; k < kTapsPerPhase; ++k) {
            taps[k] = static_cast<float>(exact[k] / sum);
            gain += std::fabs(taps[k]);
        }
        made.taps.push_back(taps);
        made.largestGain = std::max(made.largestGain, static_cast<float>(gain) * kBoundMargin);
    }
    return made;
}

void TruePeakMeter::Start(int sampleRate) {
    phases = MakePhases(OversamplingOf(sampleRate));
    for (std::vector<float>& samples : window) samples.assign(kHistory + kRunSamples, 0.0f);
    peak.fill(0.0f);
}

void TruePeakMeter::Add(const std::array<const float*, kChannels>& channels, std::size_t count) {
    if (window[0].empty()) return;  // not started
    for (std::size_t done = 0; done < count; done += kRunSamples) {
        const std::size_t run = std::min(count - done, kRunSamples);
        for (int c = 0; c < kChannels; ++c) AddChannel(c, channels[c] + done, run);
    }
}

void TruePeakMeter::AddChannel(int channel, const float* samples, std::size_t count) {
    float* x = window[channel].data();
    std::copy(samples, samples + count, x + kHistory);
    float& top = peak[channel];
    const float samplePeak = kKernels.samplePeak(x, kHistory + count);
    top = std::max(top, samplePeak);
    // No interpolated value of this run can exceed the peak so far: nothing to compute.
    if (samplePeak * phases.largestGain > top) {
        const PhasesKernel kernel =
            phases.taps.size() == 3 ? kKernels.peakOfThree : kKernels.peakOfOne;
        top = std::max(top, kernel(x, count, phases.taps.data()));
    }
    std::copy(x + count, x + count + kHistory, x);
}

std::array<double, TruePeakMeter::kChannels> TruePeakMeter::Peaks() const {
    std::array<double, kChannels> peaks{};
    std::copy(peak.begin(), peak.end(), peaks.begin());
    return peaks;
}

}  // namespace tavrisk
