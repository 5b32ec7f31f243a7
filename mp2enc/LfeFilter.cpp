// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/LfeFilter.h"

#include <cmath>

namespace tavrisk::mp2 {
namespace {

constexpr double kSectionStep = 0.09817477042468094;   // pi / 32
constexpr double kCornerAngle = 0.008181230868723412;  // pi * 125 / 48000
constexpr double kInputScale = 0.000030517578125;      // 2^-15

// Four doubles of local variables (the function that holds them is built for AVX2).
typedef double Lanes4 __attribute__((vector_size(32)));
typedef long long Mask4 __attribute__((vector_size(32)));
constexpr int kGroups = 2;  // of four sections, one a lane

// The eight sections in the lanes of two vectors, as a wave: in each step every section takes
// the output of the one before it from the step before, so that the eight recursions run side
// by side. Each lane computes the section's expression in its own order: the same values as
// sample by sample through the cascade.
struct CascadeLanes {
    Lanes4 b0[kGroups], b1[kGroups], b2[kGroups], a1[kGroups], a2[kGroups];
    Lanes4 x1[kGroups], x2[kGroups], y1[kGroups], y2[kGroups];
};

// The lanes of `now` where `mask` is set, else those of `old`.
[[gnu::target("avx2"), gnu::always_inline]] inline Lanes4 Select(const Mask4& mask,
                                                                 const Lanes4& now,
                                                                 const Lanes4& old) {
    // A cast between vectors of one size keeps the bits.
    return (Lanes4)(((Mask4)now & mask) | ((Mask4)old & ~mask));
}

// One step of the wave; with `active`, the lanes outside it keep their state.
template <bool kMasked>
[[gnu::target("avx2"), gnu::always_inline]] inline void CascadeStep(
    CascadeLanes& c, double input, const Mask4 (&active)[kGroups]) {
    const Lanes4 first = {input, 0.0, 0.0, 0.0};
    const Lanes4 x[kGroups] = {__builtin_shufflevector(c.y1[0], first, 4, 0, 1, 2),
                               __builtin_shufflevector(c.y1[1], c.y1[0], 7, 0, 1, 2)};
    for (int g = 0; g < kGroups; ++g) {
        const Lanes4 y = c.b0[g] * x[g] + c.b1[g] * c.x1[g] + c.b2[g] * c.x2[g] -
                         c.a1[g] * c.y1[g] - c.a2[g] * c.y2[g];
        if constexpr (kMasked) {
            c.x2[g] = Select(active[g], c.x1[g], c.x2[g]);
            c.x1[g] = Select(active[g], x[g], c.x1[g]);
            c.y2[g] = Select(active[g], c.y1[g], c.y2[g]);
            c.y1[g] = Select(active[g], y, c.y1[g]);
        } else {
            c.x2[g] = c.x1[g];
            c.x1[g] = x[g];
            c.y2[g] = c.y1[g];
            c.y1[g] = y;
        }
    }
}

// The steps from `begin` to `end`, where every section runs: CascadeStep with the state in
// local variables, which the compiler keeps in registers rather than in the structure.
[[gnu::target("avx2"), gnu::always_inline]] inline void CascadeSteady(CascadeLanes& c,
                                                                      const double* in, double* out,
                                                                      int begin, int end) {
    Lanes4 x1a = c.x1[0], x2a = c.x2[0], y1a = c.y1[0], y2a = c.y2[0];
    Lanes4 x1b = c.x1[1], x2b = c.x2[1], y1b = c.y1[1], y2b = c.y2[1];
    for (int t = begin; t < end; ++t) {
        const Lanes4 first = {in[t], 0.0, 0.0, 0.0};
        const Lanes4 xa = __builtin_shufflevector(y1a, first, 4, 0, 1, 2);
        const Lanes4 xb = __builtin_shufflevector(y1b, y1a, 7, 0, 1, 2);
        const Lanes4 ya =
            c.b0[0] * xa + c.b1[0] * x1a + c.b2[0] * x2a - c.a1[0] * y1a - c.a2[0] * y2a;
        const Lanes4 yb =
            c.b0[1] * xb + c.b1[1] * x1b + c.b2[1] * x2b - c.a1[1] * y1b - c.a2[1] * y2b;
        x2a = x1a;
        x1a = xa;
        y2a = y1a;
        y1a = ya;
        x2b = x1b;
        x1b = xb;
        y2b = y1b;
        y1b = yb;
        out[t - (4 * kGroups - 1)] = yb[3];
    }
    c.x1[0] = x1a, c.x2[0] = x2a, c.y1[0] = y1a, c.y2[0] = y2a;
    c.x1[1] = x1b, c.x2[1] = x2b, c.y1[1] = y1b, c.y2[1] = y2b;
}

// A block through the eight sections of `sections` as one wave.
template <typename Section>
[[gnu::target("avx2")]] void FilterCascadeAvx2(Section* sections, const double* in, double* out,
                                               int samples) {
    constexpr int kLag = 4 * kGroups - 1;  // steps from a sample's first section to its last
    CascadeLanes c;
    for (int g = 0; g < kGroups; ++g) {
        for (int l = 0; l < 4; ++l) {
            const Section& s = sections[4 * g + l];
            c.b0[g][l] = s.b0;
            c.b1[g][l] = s.b1;
            c.b2[g][l] = s.b2;
            c.a1[g][l] = s.a1;
            c.a2[g][l] = s.a2;
            c.x1[g][l] = s.x1;
            c.x2[g][l] = s.x2;
            c.y1[g][l] = s.y1;
            c.y2[g][l] = s.y2;
        }
    }
    // Section k works on sample t - k in step t: the first and last kLag steps leave some
    // sections out.
    for (int t = 0; t < kLag; ++t) {
        Mask4 started[kGroups] = {};
        for (int k = 0; k < 4 * kGroups; ++k) started[k / 4][k % 4] = k <= t ? -1 : 0;
        CascadeStep<true>(c, in[t], started);
    }
    CascadeSteady(c, in, out, kLag, samples);
    for (int t = samples; t < samples + kLag; ++t) {
        Mask4 running[kGroups] = {};
        for (int k = 0; k < 4 * kGroups; ++k) running[k / 4][k % 4] = t - k < samples ? -1 : 0;
        CascadeStep<true>(c, 0.0, running);
        out[t - kLag] = c.y1[kGroups - 1][3];
    }
    for (int g = 0; g < kGroups; ++g) {
        for (int l = 0; l < 4; ++l) {
            Section& s = sections[4 * g + l];
            s.x1 = c.x1[g][l];
            s.x2 = c.x2[g][l];
            s.y1 = c.y1[g][l];
            s.y2 = c.y2[g][l];
        }
    }
}

bool HaveAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

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
    // Where the processor has AVX2, all eight at once.
    static const bool kWave = HaveAvx2();
    std::array<double, kBlockSamples> filtered;
    if (kWave) {
        static_assert(kSections == 4 * kGroups);
        FilterCascadeAvx2(sections.data(), input, filtered.data(), kBlockSamples);
    } else {
        const double* in = input;
        for (int s = 0; s < kSections; s += 2) {
            FilterPair(sections[s], sections[s + 1], in, filtered.data());
            in = filtered.data();
        }
    }
    int next = untilKept;
    for (; next < kBlockSamples; next += kDecimation) Keep(filtered[next]);
    untilKept = next - kBlockSamples;
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
