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
    // (Taken as a value, not through a reference: the samples need no alignment.)
    const Floats magnitude = reinterpret_cast<Floats>(reinterpret_cast<Ints>(value) & kAllButSign);
    top = magnitude > top ? magnitude : top;
}

// Interpolated outputs: `x` holds the taps' history (one sample fewer than the taps) and then
// the `count` samples of the outputs.
struct Stretch {
    const float* x = nullptr;
    std::size_t count = 0;
};
using Stretches = std::array<Stretch, 2>;

using Spread = Floats[TruePeakMeter::kTapsPerPhase];

// Adds tap `k`'s products to the sums of `kPhases` phases over `kVectors` vectors of outputs
// from `x` on.
template <std::size_t kPhases, std::size_t kVectors>
[[gnu::always_inline]] inline void AddTap(const float* x, const Spread* spread, std::size_t k,
                                          Floats (&sum)[kVectors][kPhases]) {
    constexpr std::size_t kLast = TruePeakMeter::kTapsPerPhase - 1;
    Floats tap[kPhases];
#pragma GCC unroll 4
    for (std::size_t p = 0; p < kPhases; ++p) tap[p] = spread[p][k];
#pragma GCC unroll 4
    for (std::size_t v = 0; v < kVectors; ++v) {
        const Floats samples = *reinterpret_cast<const Floats*>(x + v * kLanes + kLast - k);
#pragma GCC unroll 4
        for (std::size_t p = 0; p < kPhases; ++p) sum[v][p] += tap[p] * samples;
    }
}

// Raises `top` to the magnitudes of `kPhases` interpolated phases of `kVectors` vectors of
// outputs from `x` on. Each sum is a chain of dependent multiply-adds; the processor keeps
// both of its units busy only with enough chains side by side. One phase's taps stay in
// registers over the whole unrolled loop; several phases' sums take the registers, and their
// taps are read once a step for all the vectors.
template <std::size_t kPhases, std::size_t kVectors>
[[gnu::always_inline]] inline void RaiseToVectors(const float* x, const Spread* spread,
                                                  Floats* top) {
    constexpr std::size_t kTaps = TruePeakMeter::kTapsPerPhase;
    Floats sum[kVectors][kPhases] = {};
    if constexpr (kPhases == 1) {
#pragma GCC unroll 12
        for (std::size_t k = 0; k < kTaps; ++k) AddTap(x, spread, k, sum);
    } else {
#pragma GCC unroll 1
        for (std::size_t k = 0; k < kTaps; ++k) AddTap(x, spread, k, sum);
    }
#pragma GCC unroll 4
    for (std::size_t v = 0; v < kVectors; ++v) {
#pragma GCC unroll 4
        for (std::size_t p = 0; p < kPhases; ++p) RaiseToMagnitude(top[p], sum[v][p]);
    }
}

// The largest magnitude of `kPhases` interpolated phases over the outputs of the stretches.
// The phases share each output's twelve samples, read once; each phase's sum runs over its
// taps in order, so that every output is the one a phase computed alone gives. A stretch's
// outputs go `kVectors` vectors of eight at a time, then eight, its last few one by one.
template <std::size_t kPhases, std::size_t kVectors>
[[gnu::always_inline]] inline float PeakOfPhases(const Stretches& stretches,
                                                 const Taps* phaseTaps) {
    constexpr std::size_t kLast = TruePeakMeter::kTapsPerPhase - 1;
    constexpr std::size_t kWide = kVectors * kLanes;
    // Each tap in every lane, so that the products read it from memory and the registers
    // hold the phases' sums.
    Spread spread[kPhases];
    for (std::size_t p = 0; p < kPhases; ++p) {
        for (std::size_t k = 0; k <= kLast; ++k) spread[p][k] = Floats{} + phaseTaps[p][k];
    }
    Floats top[kPhases] = {};
    for (const Stretch& stretch : stretches) {
        std::size_t j = 0;
        for (; j + kWide <= stretch.count; j += kWide)
            RaiseToVectors<kPhases, kVectors>(stretch.x + j, spread, top);
        for (; j + kLanes <= stretch.count; j += kLanes)
            RaiseToVectors<kPhases, 1>(stretch.x + j, spread, top);
    }
    float largest = 0.0f;
    for (std::size_t p = 0; p < kPhases; ++p) largest = std::max(largest, LargestLane(top[p]));
    for (const Stretch& stretch : stretches) {
        for (std::size_t p = 0; p < kPhases; ++p) {
            for (std::size_t i = stretch.count - stretch.count % kLanes; i < stretch.count; ++i)
                largest = std::max(largest, OneOutput(stretch.x + i, phaseTaps[p]));
        }
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

// Output vectors a kernel's loop computes at a time.
constexpr std::size_t kVectorsOfThree = 3;
constexpr std::size_t kVectorsOfOne = 1;

// The kernels, built for the plain processor and for one with AVX2 and fused multiply-adds:
// the sample peak, and the peak of the three phases of four times oversampling or of the one
// of twice.
using PhasesKernel = float (*)(const Stretches&, const Taps*);
struct Kernels {
    float (*samplePeak)(const float*, std::size_t);
    PhasesKernel peakOfThree;
    PhasesKernel peakOfOne;
};

float SamplePeakPlain(const float* x, std::size_t count) {
    return SamplePeak(x, count);
}

float PeakOfThreePlain(const Stretches& stretches, const Taps* taps) {
    return PeakOfPhases<3, kVectorsOfThree>(stretches, taps);
}

float PeakOfOnePlain(const Stretches& stretches, const Taps* taps) {
    return PeakOfPhases<1, kVectorsOfOne>(stretches, taps);
}

[[gnu::target("avx2,fma")]] float SamplePeakAvx2(const float* x, std::size_t count) {
    return SamplePeak(x, count);
}

[[gnu::target("avx2,fma")]] float PeakOfThreeAvx2(const Stretches& stretches, const Taps* taps) {
    return PeakOfPhases<3, kVectorsOfThree>(stretches, taps);
}

[[gnu::target("avx2,fma")]] float PeakOfOneAvx2(const Stretches& stretches, const Taps* taps) {
    return PeakOfPhases<1, kVectorsOfOne>(stretches, taps);
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
    for (std::array<float, kHistory>& samples : history) samples.fill(0.0f);
    peak.fill(0.0f);
    started = true;
}

void TruePeakMeter::Add(const std::array<const float*, kChannels>& channels, std::size_t count) {
    if (!started) return;
    for (std::size_t done = 0; done < count; done += kRunSamples) {
        const std::size_t run = std::min(count - done, kRunSamples);
        for (int c = 0; c < kChannels; ++c) AddChannel(c, channels[c] + done, run);
    }
}

// The run's first outputs are interpolated from a copy of the history and of the samples they
// need, the others straight from the caller's samples. Every output falls in the same place
// of the kernels' vectors as in one pass over the history and the run, so that it is computed
// by the same operations.
void TruePeakMeter::AddChannel(int channel, const float* samples, std::size_t count) {
    static_assert(kSeamOutputs % kLanes == 0 && kSeamOutputs >= kHistory);
    const std::size_t seamCount = std::min(count, kSeamOutputs);
    const std::size_t restCount = count - seamCount;
    std::array<float, kHistory + kSeamOutputs> seam;
    std::array<float, kHistory>& last = history[channel];
    std::copy(last.begin(), last.end(), seam.begin());
    std::copy(samples, samples + seamCount, seam.begin() + kHistory);
    const float* rest = samples + seamCount;
    float& top = peak[channel];
    const float samplePeak = std::max(kKernels.samplePeak(seam.data(), kHistory + seamCount),
                                      kKernels.samplePeak(rest, restCount));
    top = std::max(top, samplePeak);
    // No interpolated value of this run can exceed the peak so far: nothing to compute.
    if (samplePeak * phases.largestGain > top) {
        const PhasesKernel kernel =
            phases.taps.size() == 3 ? kKernels.peakOfThree : kKernels.peakOfOne;
        // The rest's history is the seam's last samples, in the caller's run.
        const float* restWithHistory = restCount > 0 ? rest - kHistory : rest;
        const Stretches stretches = {Stretch{seam.data(), seamCount},
                                     Stretch{restWithHistory, restCount}};
        top = std::max(top, kernel(stretches, phases.taps.data()));
    }
    const float* kept = count >= kHistory ? samples + count - kHistory : seam.data() + count;
    std::copy(kept, kept + kHistory, last.begin());
}

std::array<double, TruePeakMeter::kChannels> TruePeakMeter::Peaks() const {
    std::array<double, kChannels> peaks{};
    std::copy(peak.begin(), peak.end(), peaks.begin());
    return peaks;
}

}  // namespace tavrisk
