// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/SynthesisFilterbank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "mp2dec/PcmOutput.h"

namespace tavrisk::mp2dec {
namespace {

// The synthesis as the standard writes it: V = N S into a 1024-value shift register, U
// gathered from V, W = U D, each output the sum of 16 values of W.
class DirectSynthesis {
  public:
    void Run(const std::array<double, kSubbands>& s, double* out) {
        v.insert(v.begin(), 64, 0.0);
        v.resize(1024);
        for (int i = 0; i < 64; ++i)
            for (int k = 0; k < kSubbands; ++k)
                v[i] += std::cos((16 + i) * (2 * k + 1) * std::numbers::pi / 64) * s[k];
        for (int j = 0; j < kSubbands; ++j) {
            out[j] = 0.0;
            for (int i = 0; i < 16; ++i) {
                const int u = 32 * i + j;  // U[u] = V[128 (u / 64) + u % 64 (+ 64 when odd half)]
                const int fromV = 128 * (u / 64) + (u % 64 < 32 ? u % 64 : u % 64 + 64);
                out[j] += v[fromV] * SynthesisWindow(u);
            }
        }
    }

  private:
    std::vector<double> v = std::vector<double>(1024, 0.0);
};

// Many consecutive runs, so that the history wraps round several times, with stretches of
// silence long and short (the filterbank rings out, then rests, then starts again), each
// output within a tenth of an LSB of the formula.
TEST(SynthesisFilterbank, FollowsTheDirectFormulaRunAfterRun) {
    constexpr double kTenthOfLsb = 0.1 / 32768.0;
    SynthesisFilterbank bank;
    DirectSynthesis direct;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    const std::pair<int, bool> stretches[] = {{3, true},  {40, false}, {15, true},  // runs, silent
                                              {2, false}, {30, true},  {20, false}};
    int run = 0;
    for (const auto& [runs, silent] : stretches) {
        for (int i = 0; i < runs; ++i, ++run) {
            std::array<double, kSubbands> s{};
            for (double& x : s) x = silent ? 0.0 : value(random);
            double got[kSubbands], want[kSubbands];
            bank.Run(s, got);
            direct.Run(s, want);
            for (int j = 0; j < kSubbands; ++j)
                ASSERT_NEAR(got[j], want[j], kTenthOfLsb) << run << " " << j;
        }
    }
}

// The synthesised samples as 16-bit values: halves away from zero, clipping, and each channel
// in its place, for two and six channels.
TEST(PcmOutput, RoundsHalvesAwayFromZeroClipsAndInterleaves) {
    constexpr double kLsb = 1.0 / 32768.0;
    const std::vector<std::pair<double, int16_t>> cases = {
        {-0.0, 0},       {0.49 * kLsb, 0},  {0.5 * kLsb, 1}, {-0.5 * kLsb, -1},
        {2.5 * kLsb, 3}, {-2.5 * kLsb, -3}, {1.0, 32767},    {-1.2, -32768}};
    const int samples = static_cast<int>(cases.size());
    for (int channels : {2, 6}) {
        // Channel c carries the cases shifted by c, so that a channel out of place shows.
        std::vector<std::vector<double>> values(channels);
        std::vector<const double*> pointers;
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < samples; ++i) values[c].push_back(cases[(i + c) % samples].first);
            pointers.push_back(values[c].data());
        }
        std::vector<int16_t> out(samples * channels);
        InterleavePcm(pointers.data(), channels, samples, out.data());
        for (int i = 0; i < samples * channels; ++i)
            EXPECT_EQ(out[i], cases[(i / channels + i % channels) % samples].second)
                << channels << " channels, value " << i;
    }
}

}  // namespace
}  // namespace tavrisk::mp2dec
