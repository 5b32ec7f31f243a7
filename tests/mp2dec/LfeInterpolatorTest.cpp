// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "mp2dec/LfeInterpolator.h"
#include "tests/mp2dec/DecoderTestSupport.h"

namespace tavrisk::mp2dec {
namespace {

// Runs `frames` frames of LFE samples taken from f(t) at t = 96 i.
template <typename F>
std::vector<double> Interpolate(int frames, F f) {
    LfeInterpolator lfe;
    std::vector<double> out(static_cast<std::size_t>(frames) * kFrameSamples);
    for (int frame = 0; frame < frames; ++frame) {
        std::array<double, kLfeSamples> samples{};
        for (int i = 0; i < kLfeSamples; ++i)
            samples[i] = f(static_cast<double>((frame * kLfeSamples + i) * LfeInterpolator::kStep));
        lfe.Run(samples, out.data() + static_cast<std::size_t>(frame) * kFrameSamples);
    }
    return out;
}

TEST(LfeInterpolator, KeepsAConstantLevel) {
    const auto out = Interpolate(4, [](double) { return 0.25; });
    for (std::size_t j = 2 * kFrameSamples; j < out.size(); ++j) EXPECT_NEAR(out[j], 0.25, 1e-12);
}

TEST(LfeInterpolator, RebuildsALowToneDelayedLikeTheSubbandPath) {
    const double frequency = 60.0;
    const double w = 2.0 * std::numbers::pi * frequency / 48000.0;
    const auto out = Interpolate(20, [&](double t) { return 0.5 * std::sin(w * t); });
    std::vector<double> aligned(out.begin() + LfeInterpolator::kDelay, out.end());
    std::vector<double> reference(aligned.size());
    for (std::size_t j = 0; j < reference.size(); ++j)
        reference[j] = 0.5 * std::sin(w * static_cast<double>(j));
    const std::vector<double> tail(aligned.begin() + 2 * kFrameSamples, aligned.end());
    const std::vector<double> referenceTail(reference.begin() + 2 * kFrameSamples, reference.end());
    const test::Match m = test::Compare(tail, referenceTail, 5);
    EXPECT_EQ(m.lag, 0);
    EXPECT_GT(m.snrDb, 40.0);
}

}  // namespace
}  // namespace tavrisk::mp2dec
