// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/LfeFilter.h"

#include <cmath>

namespace tavrisk::mp2 {
namespace {

constexpr double kSectionStep = 0.09817477042468094;   // pi / 32
constexpr double kCornerAngle = 0.008181230868723412;  // pi * 125 / 48000
constexpr double kInputScale = 0.000030517578125;      // 2^-15

}  // namespace

LfeFilter::LfeFilter() {
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
    Reset();
}

void LfeFilter::Reset() {
    for (Section& s : sections) s.x1 = s.x2 = s.y1 = s.y2 = 0.0;
    queue.fill(0.0);
    first = 0;
    waiting = 0;
    untilKept = delay;
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

void LfeFilter::FilterPair(Section& first, Section& second, const double* in, double* out) {
    // The second section runs one sample behind the first, so that the two recursions are
    // independent within a step and overlap; each value is computed as in the cascade.
    Section a = first;
    Section b = second;
    double previous = a.Step(in[0]);
    for (int i = 1; i < kBlockSamples; ++i) {
        const double next = a.Step(in[i]);
        out[i - 1] = b.Step(previous);
        previous = next;
    }
    out[kBlockSamples - 1] = b.Step(previous);
    first = a;
    second = b;
}

void LfeFilter::FilterBlock(const double* input) {
    // Section by section over the block, two at a time: the same values as sample by sample
    // through the cascade, with the state of two sections in registers.
    std::array<double, kBlockSamples> filtered;
    const double* in = input;
    for (int s = 0; s < kSections; s += 2) {
        FilterPair(sections[s], sections[s + 1], in, filtered.data());
        in = filtered.data();
    }
    for (int i = 0; i < kBlockSamples; ++i) {
        if (untilKept-- == 0) {
            Keep(filtered[i]);
            untilKept = kDecimation - 1;
        }
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
