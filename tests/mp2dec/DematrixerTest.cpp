// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "mp2dec/Dematrixer.h"

namespace tavrisk::mp2dec {
namespace {

enum Source { kC, kLs, kRs, kL, kR };
// Channels carried in transmission positions 2..4 for each tc_allocation of 3/2.
constexpr int kCarried[8][3] = {{kC, kLs, kRs}, {kL, kLs, kRs}, {kR, kLs, kRs}, {kC, kL, kRs},
                                {kC, kLs, kR},  {kC, kL, kR},   {kR, kL, kRs},  {kL, kLs, kR}};

struct Weights {
    double center, surround, norm;
};
Weights Of(int procedure) {
    const double r = std::sqrt(0.5);
    if (procedure == 1) return {r, 0.5, 1.0 / (1.5 + 0.5 * std::sqrt(2.0))};
    if (procedure == 3) return {1.0, 1.0, 1.0};
    return {r, r, 1.0 / (1.0 + std::sqrt(2.0))};
}

// Builds a frame the way a 3/2 encoder matrixes it, dematrixes it and compares.
void RoundTrip(int procedure, int tcAlloc) {
    SCOPED_TRACE("procedure " + std::to_string(procedure) + " tc_allocation " +
                 std::to_string(tcAlloc));
    std::mt19937 random(static_cast<unsigned>(procedure * 8 + tcAlloc));
    std::uniform_real_distribution<double> value(-0.5, 0.5);
    auto content = std::make_unique<FrameContent>();
    auto originals = std::make_unique<std::array<SubbandBlock, 5>>();  // by Source
    content->extension.present = true;
    content->extension.dematrixProcedure = procedure;
    content->extension.tcAlloc.fill(tcAlloc);
    const Weights w = Of(procedure);
    for (int i = 0; i < kSubbandSamples; ++i) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            double v[5];
            for (int s = 0; s < 5; ++s) v[s] = (*originals)[s][i][sb] = value(random);
            const double l = w.norm * v[kL], r = w.norm * v[kR], c = w.norm * w.center * v[kC];
            const double ls = w.norm * w.surround * v[kLs], rs = w.norm * w.surround * v[kRs];
            double lo = l + c + ls, ro = r + c + rs;
            if (procedure == 2) {
                lo = l + c - 0.5 * (ls + rs);
                ro = r + c + 0.5 * (ls + rs);
            } else if (procedure == 3) {
                lo = v[kL];
                ro = v[kR];
            }
            const double weighted[5] = {c, ls, rs, l, r};
            content->positions[0][i][sb] = lo;
            content->positions[1][i][sb] = ro;
            for (int p = 0; p < 3; ++p)
                content->positions[2 + p][i][sb] = weighted[kCarried[tcAlloc][p]];
        }
    }
    auto out = std::make_unique<std::array<SubbandBlock, kMainChannels>>();
    Dematrixer().Run(*content, *out);
    const std::pair<OutputChannel, Source> pairs[] = {
        {kOutL, kL}, {kOutC, kC}, {kOutR, kR}, {kOutLs, kLs}, {kOutRs, kRs}};
    for (const auto& [outChannel, source] : pairs)
        for (int i : {0, 13, 35})
            for (int sb : {0, 7, 9, 14, 31})
                EXPECT_NEAR((*out)[outChannel][i][sb], (*originals)[source][i][sb], 1e-12)
                    << "channel " << outChannel << " sample " << i << " subband " << sb;
}

TEST(Dematrixer, RecoversAllFiveChannelsForEveryProcedureAndAllocation) {
    for (int procedure : {0, 1, 2})
        for (int tc = 0; tc < 8; ++tc)
            if (!(procedure == 2 && tc == 5)) RoundTrip(procedure, tc);
    RoundTrip(3, 0);
}

TEST(Dematrixer, GroupsFollowTheSubbandLayout) {
    const int expected[kSubbands] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  8,  9,
                                     9,  10, 10, 10, 10, 11, 11, 11, 11, 11, 11,
                                     11, 11, 11, 11, 11, 11, 11, 11, 11, 11};
    for (int sb = 0; sb < kSubbands; ++sb) EXPECT_EQ(Dematrixer::GroupOfSubband(sb), expected[sb]);
}

TEST(Dematrixer, UsesEachGroupsOwnAllocation) {
    auto content = std::make_unique<FrameContent>();
    content->extension.present = true;
    content->extension.tcAlloc.fill(0);
    content->extension.tcAlloc[8] = 1;  // subbands 8 and 9 carry L instead of C
    for (int sb = 0; sb < kSubbands; ++sb) {
        content->positions[0][0][sb] = 1.0;  // Lo
        content->positions[2][0][sb] = 0.25;
    }
    auto out = std::make_unique<std::array<SubbandBlock, kMainChannels>>();
    Dematrixer().Run(*content, *out);
    const double norm = 1.0 / (1.0 + std::sqrt(2.0));
    EXPECT_NEAR((*out)[kOutL][0][7], (1.0 - 0.25) / norm, 1e-12);  // L = Lo - C
    EXPECT_NEAR((*out)[kOutL][0][8], 0.25 / norm, 1e-12);          // L carried
    EXPECT_NEAR((*out)[kOutL][0][10], (1.0 - 0.25) / norm, 1e-12);
}

}  // namespace
}  // namespace tavrisk::mp2dec
