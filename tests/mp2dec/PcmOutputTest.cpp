// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "mp2dec/PcmOutput.h"

namespace tavrisk::mp2dec {
namespace {

constexpr double kLsb = 1.0 / 32768.0;

// Rounding to nearest with halves away from zero, clipping, and each channel in its place,
// for the pair and for six channels.
TEST(PcmOutput, RoundsHalvesAwayFromZeroClipsAndInterleaves) {
    const struct {
        double value;
        int16_t pcm;
    } cases[] = {
        {0.0, 0},
        {-0.0, 0},
        {0.49 * kLsb, 0},
        {0.5 * kLsb, 1},
        {-0.5 * kLsb, -1},
        {-0.49 * kLsb, 0},
        {1.5 * kLsb, 2},
        {-2.5 * kLsb, -3},
        {1000.4 * kLsb, 1000},
        {0.99999, 32767},
        {1.0, 32767},
        {7.0, 32767},
        {-1.0, -32768},
        {-1.2, -32768},
        {-32767.5 * kLsb, -32768},
        {32766.5 * kLsb, 32767},
    };
    constexpr int kSamples = 16;
    static_assert(std::size(cases) == kSamples);
    for (int channels : {2, 6}) {
        SCOPED_TRACE(channels);
        // Channel c carries the cases shifted by c, so that a channel put out of place shows.
        std::vector<std::vector<double>> values(channels, std::vector<double>(kSamples));
        std::vector<const double*> pointers;
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < kSamples; ++i) values[c][i] = cases[(i + c) % kSamples].value;
            pointers.push_back(values[c].data());
        }
        std::vector<int16_t> out(kSamples * channels);
        InterleavePcm(pointers.data(), channels, kSamples, out.data());
        for (int i = 0; i < kSamples; ++i)
            for (int c = 0; c < channels; ++c)
                EXPECT_EQ(out[i * channels + c], cases[(i + c) % kSamples].pcm)
                    << "sample " << i << " channel " << c;
    }
}

}  // namespace
}  // namespace tavrisk::mp2dec
