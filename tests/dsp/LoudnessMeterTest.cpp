// SPDX-License-Identifier: GPL-3.0-or-later
#include <ebur128.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "dsp/LoudnessMeter.h"

namespace tavrisk {
namespace {

constexpr int kChannels = LoudnessMeter::kChannels;
using Planar = std::array<std::vector<float>, kChannels>;

// A programme of `seconds` at `rate`: per channel a few sines and some noise, in sections
// of different levels, so that the gates and the loudness range have work to do.
Planar Programme(int rate, double seconds, double peakDb) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    const std::array<double, 5> sectionDb = {0.0, -12.0, -4.0, -30.0, -8.0};
    std::array<double, sectionDb.size()> gains{};
    for (std::size_t s = 0; s < gains.size(); ++s)
        gains[s] = 0.5 * std::pow(10.0, (sectionDb[s] + peakDb) / 20.0);
    std::uint32_t noise = 12345;
    Planar x;
    for (int c = 0; c < kChannels; ++c) {
        x[c].resize(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = 2 * std::numbers::pi * static_cast<double>(i) / rate;
            noise = noise * 1664525u + 1013904223u;
            const double random = static_cast<double>(noise >> 8) / (1u << 24) - 0.5;
            x[c][i] = static_cast<float>(gains[i * sectionDb.size() / frames] *
                                         (std::sin((220.0 + 170.0 * c) * t) +
                                          0.5 * std::sin(6100.0 * t + c) + 0.3 * random));
        }
    }
    return x;
}

LoudnessFigures Measure(const Planar& x, int rate, std::size_t run) {
    LoudnessMeter meter;
    EXPECT_TRUE(meter.Start(rate));
    const std::size_t frames = x[0].size();
    for (std::size_t done = 0; done < frames; done += run) {
        std::array<const float*, kChannels> columns{};
        for (int c = 0; c < kChannels; ++c) columns[c] = x[c].data() + done;
        meter.Add(columns, std::min(run, frames - done));
    }
    return meter.Figures();
}

// The same figures from libebur128, the reference implementation in Debian.
LoudnessFigures Reference(const Planar& x, int rate) {
    ebur128_state* state = ebur128_init(kChannels, static_cast<unsigned long>(rate),
                                        EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    const std::array<int, kChannels> channel = {EBUR128_LEFT,          EBUR128_RIGHT,
                                                EBUR128_CENTER,        EBUR128_UNUSED,
                                                EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND};
    for (int c = 0; c < kChannels; ++c) ebur128_set_channel(state, c, channel[c]);
    std::vector<float> frames;
    for (std::size_t i = 0; i < x[0].size(); ++i)
        for (const std::vector<float>& channel : x) frames.push_back(channel[i]);
    ebur128_add_frames_float(state, frames.data(), x[0].size());
    LoudnessFigures figures;
    ebur128_loudness_global(state, &figures.integratedLufs);
    ebur128_loudness_range(state, &figures.rangeLu);
    for (int c = 0; c < kChannels; ++c) {
        ebur128_true_peak(state, c, &figures.truePeakDbtp[c]);
        figures.truePeakDbtp[c] = DecibelsOf(figures.truePeakDbtp[c]);
    }
    ebur128_destroy(&state);
    return figures;
}

// At the rates films come in, the figures are libebur128's: the same K-weighting and gates,
// an interpolator of the same kind (so the true peaks agree closely, not exactly; at 96 kHz,
// where noise reaches up to 48 kHz, within the EBU's tolerance of -0.4 to +0.2 dB),
// short-term blocks for the range every 100 ms. Whatever the runs they come in (ending
// anywhere in the vectors and the 100 ms blocks), they are the same.
TEST(LoudnessMeter, AgreesWithTheReferenceWhateverTheRuns) {
    struct Case {
        int rate;
        double peakDb, truePeakOffset, truePeakTolerance;
    } const cases[] = {{48000, 0.0, 0.0, 0.05},
                       {44100, -6.0, 0.0, 0.05},
                       {96000, -3.0, -0.1, 0.3},
                       {32000, -20.0, 0.0, 0.05}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const Planar x = Programme(c.rate, 12.0, c.peakDb);
        const LoudnessFigures ours = Measure(x, c.rate, 1152);
        const LoudnessFigures reference = Reference(x, c.rate);
        EXPECT_NEAR(ours.integratedLufs, reference.integratedLufs, 0.01);
        EXPECT_NEAR(ours.rangeLu, reference.rangeLu, 0.5);
        for (int channel = 0; channel < kChannels; ++channel)
            EXPECT_NEAR(ours.truePeakDbtp[channel] - reference.truePeakDbtp[channel],
                        c.truePeakOffset, c.truePeakTolerance);
        // (The interpolation's last outputs of a run are summed one by one: rounded apart.)
        for (std::size_t run : {std::size_t{7}, std::size_t{4799}, std::size_t{100000}}) {
            const LoudnessFigures again = Measure(x, c.rate, run);
            EXPECT_EQ(again.integratedLufs, ours.integratedLufs) << run;
            EXPECT_EQ(again.rangeLu, ours.rangeLu) << run;
            for (int channel = 0; channel < kChannels; ++channel)
                EXPECT_NEAR(again.truePeakDbtp[channel], ours.truePeakDbtp[channel], 1e-4) << run;
        }
    }
}

// The true peak against the same interpolation in double precision, sample by sample, at
// four and two times oversampling: within float rounding of it, whatever the runs (whole
// vectors of outputs from one to fifty take every path of the kernels).
TEST(LoudnessMeter, TruePeakIsTheLargestInterpolatedValue) {
    std::vector<std::size_t> runs = {13, 1152, 4096, 4800};
    for (std::size_t run = 8; run <= 400; run += 8) runs.push_back(run);
    for (const int rate : {48000, 96000}) {
        const Planar x = Programme(rate, 0.5, -1.0);
        const TruePeakMeter::Phases phases = TruePeakMeter::MakePhases(rate == 48000 ? 4 : 2);
        std::array<double, kChannels> expected{};
        for (int c = 0; c < kChannels; ++c) {
            for (std::size_t i = 0; i < x[c].size(); ++i) {
                expected[c] = std::max(expected[c], std::fabs(static_cast<double>(x[c][i])));
                for (const auto& taps : phases.taps) {
                    double sum = 0.0;
                    for (std::size_t k = 0; k < taps.size() && k <= i; ++k)
                        sum += static_cast<double>(taps[k]) * x[c][i - k];
                    expected[c] = std::max(expected[c], std::fabs(sum));
                }
            }
        }
        for (const std::size_t run : runs) {
            const LoudnessFigures figures = Measure(x, rate, run);
            for (int c = 0; c < kChannels; ++c)
                EXPECT_NEAR(figures.truePeakDbtp[c], DecibelsOf(expected[c]), 1e-5) << run;
        }
    }
}

// Silence, or less than one 400 ms block, has no loudness; a silent channel no true peak.
TEST(LoudnessMeter, ReadsSilenceAsNoLoudness) {
    Planar silent;
    for (std::vector<float>& channel : silent) channel.assign(48000, 0.0f);
    EXPECT_EQ(Measure(silent, 48000, 1152).integratedLufs, LoudnessFigures::kSilent);
    EXPECT_EQ(Measure(silent, 48000, 1152).TruePeakDbtp(), LoudnessFigures::kSilent);
    const Planar brief = Programme(48000, 0.3, 0.0);
    EXPECT_EQ(Measure(brief, 48000, 1152).integratedLufs, LoudnessFigures::kSilent);
}

}  // namespace
}  // namespace tavrisk
