// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/LfeFilter.h"

#include <algorithm>
#include <cmath>

#include "dsp/KernelChoice.h"

namespace tavrisk::mp2 {
namespace {

constexpr double kSectionStep = 0.09817477042468094;   // pi / 32
constexpr double kCornerAngle = 0.008181230868723412;  // pi * 125 / 48000
constexpr double kInputScale = 0.000030517578125;      // 2^-15

// Four doubles side by side, read from any double; each lane is computed exactly as its
// scalar expression.
typedef double Lanes __attribute__((vector_size(32), aligned(8), may_alias));
constexpr int kLanes = 4;
constexpr int kVectors = LfeFilter::kOutputs / kLanes;

// Adds `count` columns of the map from `first` on, weighted by `weights`, to the sums.
[[gnu::always_inline]] inline void AddColumns(const LfeFilter::HopMap& map, int first, int count,
                                              const double* weights, Lanes (&sum)[kVectors]) {
#pragma GCC unroll 2
    for (int c = 0; c < count; ++c) {
        const double weight = weights[c];
#pragma GCC unroll 4
        for (int v = 0; v < kVectors; ++v) {
            sum[v] += *reinterpret_cast<const Lanes*>(&map.column[first + c][kLanes * v]) * weight;
        }
    }
}

// The outputs after a hop: the map's columns weighted by the state and then by the inputs,
// summed in that order.
[[gnu::always_inline]] inline void HopThrough(const LfeFilter::HopMap& map, const double* state,
                                              const double* input, double* outputs) {
    Lanes sum[kVectors] = {};
    AddColumns(map, 0, LfeFilter::kState, state, sum);
    AddColumns(map, LfeFilter::kState, LfeFilter::kDecimation, input, sum);
#pragma GCC unroll 4
    for (int v = 0; v < kVectors; ++v) *reinterpret_cast<Lanes*>(outputs + kLanes * v) = sum[v];
}

void HopPlain(const LfeFilter::HopMap& map, const double* state, const double* input,
              double* outputs) {
    HopThrough(map, state, input, outputs);
}

// The same built for AVX2: wider registers, the same separate multiplies and additions (no
// fused ones), so the same values.
[[gnu::target("avx2")]] void HopAvx2(const LfeFilter::HopMap& map, const double* state,
                                     const double* input, double* outputs) {
    HopThrough(map, state, input, outputs);
}

LfeFilter::HopFunction PickHopFunction() {
    return ChooseAvx2Kernel(HopAvx2, HopPlain);
}

}  // namespace

LfeFilter::LfeFilter() : hop(PickHopFunction()) {
    const double c = 1.0 / std::tan(kCornerAngle);
    double groupDelay = 0.0;
    for (int k = 0; k < kSections; ++k) {
        const double q = 2.0 * std::cos((2 * k + 1) * kSectionStep);
        const double a0 = c * c + q * c + 1.0;
        Section& s = sections[k];
        s.b0 = 1.0 / a0;
        s.b1 = 2.0 / a0;
        s.b2 = 1.0 / a0;
        s.a1 = 2.0 * (1.0 - c * c) / a0;
        s.a2 = (c * c - q * c + 1.0) / a0;
        // Group delay at 0 Hz of (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2): the
        // symmetric numerator's is one sample.
        groupDelay += 1.0 - (s.a1 + 2.0 * s.a2) / (1.0 + s.a1 + s.a2);
    }
    delay = static_cast<int>(std::lround(groupDelay));
    // The coefficients are the same for every filter: one map serves them all.
    static const HopMap kMap = MakeHopMap(sections);
    hopMap = &kMap;
    Reset();
}

LfeFilter::HopMap LfeFilter::MakeHopMap(const std::array<Section, kSections>& sections) {
    // Column c is where the cascade takes a unit in state value c, from silence; a section's
    // inputs are the outputs of the one before it. A unit input at sample i of the hop goes
    // where a unit input at sample 0 goes after 96 - i samples: one run gives those columns.
    HopMap map;
    auto outputsOf = [](const std::array<Section, kSections>& cascade, double* column) {
        for (int k = 0; k < kSections; ++k) {
            column[2 * k] = cascade[k].y1;
            column[2 * k + 1] = cascade[k].y2;
        }
    };
    for (int c = 0; c <= kState; ++c) {
        std::array<Section, kSections> cascade = sections;
        for (Section& s : cascade) s.x1 = s.x2 = s.y1 = s.y2 = 0.0;
        if (c < kOutputs) {
            const int k = c / 2;
            (c % 2 == 0 ? cascade[k].y1 : cascade[k].y2) = 1.0;
            if (k + 1 < kSections) (c % 2 == 0 ? cascade[k + 1].x1 : cascade[k + 1].x2) = 1.0;
        } else if (c < kState) {
            (c == kOutputs ? cascade[0].x1 : cascade[0].x2) = 1.0;
        }
        for (int i = 0; i < kDecimation; ++i) {
            double x = c == kState && i == 0 ? 1.0 : 0.0;
            for (Section& s : cascade) x = s.Step(x);
            if (c == kState) outputsOf(cascade, map.column[kColumns - 1 - i]);
        }
        if (c < kState) outputsOf(cascade, map.column[c]);
    }
    return map;
}

void LfeFilter::Reset() {
    for (Section& s : sections) s.x1 = s.x2 = s.y1 = s.y2 = 0.0;
    queue.fill(0.0);
    first = 0;
    waiting = 0;
    leadIn = delay + 1;
    stagedCount = 0;
}

void LfeFilter::GatherState(double* state) const {
    for (int k = 0; k < kSections; ++k) {
        state[2 * k] = sections[k].y1;
        state[2 * k + 1] = sections[k].y2;
    }
    state[kOutputs] = sections[0].x1;
    state[kOutputs + 1] = sections[0].x2;
}

void LfeFilter::ScatterState(const double* outputs, const double* input) {
    // A section's inputs are the outputs of the one before it.
    sections[0].x1 = input[kDecimation - 1];
    sections[0].x2 = input[kDecimation - 2];
    for (int k = 0; k < kSections; ++k) {
        sections[k].y1 = outputs[2 * k];
        sections[k].y2 = outputs[2 * k + 1];
        if (k > 0) {
            sections[k].x1 = outputs[2 * k - 2];
            sections[k].x2 = outputs[2 * k - 1];
        }
    }
}

double LfeFilter::Hop(const double* input) {
    double state[kState];
    GatherState(state);
    alignas(32) double outputs[kOutputs];
    hop(*hopMap, state, input, outputs);
    ScatterState(outputs, input);
    return outputs[kOutputs - 2];
}

void LfeFilter::Keep(double y) {
    if (waiting == kQueue) {
        first = (first + 1) % kQueue;
        --waiting;
    }
    queue[(first + waiting) % kQueue] = y * kInputScale;
    ++waiting;
}

double LfeFilter::FilterSample(double x) {
    for (Section& s : sections) x = s.Step(x);
    return x;
}

void LfeFilter::FilterBlock(const double* input) {
    int at = 0;
    for (; leadIn > 0 && at < kBlockSamples; ++at) {
        const double y = FilterSample(input[at]);
        if (--leadIn == 0) Keep(y);
    }
    while (at < kBlockSamples) {
        const double* hopInput = input + at;
        if (stagedCount == 0 && kBlockSamples - at >= kDecimation) {
            at += kDecimation;
        } else {
            const int take = std::min(kDecimation - stagedCount, kBlockSamples - at);
            std::copy_n(input + at, take, staged.begin() + stagedCount);
            stagedCount += take;
            at += take;
            if (stagedCount < kDecimation) break;
            stagedCount = 0;
            hopInput = staged.data();
        }
        Keep(Hop(hopInput));
    }
}

void LfeFilter::FilterSilence() {
    static constexpr std::array<double, kBlockSamples> kSilence{};
    FilterBlock(kSilence.data());
}

void LfeFilter::TakeFrame(Frame& frame) {
    for (double& sample : frame) {
        sample = 0.0;
        if (waiting > 0) {
            sample = queue[first];
            first = (first + 1) % kQueue;
            --waiting;
        }
    }
}

}  // namespace tavrisk::mp2
