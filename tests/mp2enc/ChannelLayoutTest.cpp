// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>

#include "mp2enc/ChannelLayout.h"

namespace tavrisk::mp2 {
namespace {

constexpr double kHalfRoot = 0.7071067811865476;

// The six rows (L, R, C, LFE, LS, RS) folded into each configuration, from one value per
// row: what a configuration does not carry goes where a downmix puts it.
TEST(ChannelLayout, FoldsTheSixChannelsAsADownmix) {
    const std::array<double, 6> in = {1000, 2000, 3000, 4000, 5000, 6000};
    const double s = kHalfRoot * (5000 + 6000);
    const double l2 = 1000 + kHalfRoot * 3000;
    const double r2 = 2000 + kHalfRoot * 3000;
    struct Case {
        ChannelConfiguration channels;
        std::array<double, 6> out;
    };
    const Case cases[] = {
        {{3, 2, false}, {1000, 2000, 3000, 0, 5000, 6000}},
        {{3, 1, false}, {1000, 2000, 3000, 0, s, s}},
        {{3, 0, true}, {1000 + kHalfRoot * 5000, 2000 + kHalfRoot * 6000, 3000, 4000, 0, 0}},
        {{2, 2, false}, {l2, r2, 0, 0, 5000, 6000}},
        {{2, 1, true}, {l2, r2, 0, 4000, s, s}},
        {{2, 0, false}, {l2 + kHalfRoot * 5000, r2 + kHalfRoot * 6000, 0, 0, 0, 0}},
        {{1, 0, false}, {kHalfRoot * 3000 + 3000 + 0.5 * 11000, 0, 0, 0, 0, 0}},
    };
    SampleBlock block;
    for (std::size_t row = 0; row < 6; ++row)
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) block.Row(row)[i] = in[row];
    for (const Case& c : cases) {
        SCOPED_TRACE(ChannelConfigurationName(c.channels));
        SampleBlock folded;
        EXPECT_EQ(FoldChannels(c.channels, block, folded), 0u);
        for (std::size_t row = 0; row < 6; ++row) {
            EXPECT_NEAR(folded.Row(row)[0], c.out[row], 1e-9) << row;
        }
    }
}

}  // namespace
}  // namespace tavrisk::mp2
