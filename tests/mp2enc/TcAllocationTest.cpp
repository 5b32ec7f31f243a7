// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "mp2enc/SubbandFrame.h"
#include "mp2enc/TcAllocation.h"

namespace tavrisk::mp2 {
namespace {

TEST(TcAllocation, AdaptiveRuleByLoudestChannels) {
    // Arguments in dB: C, LS, RS, L, R.
    EXPECT_EQ(AdaptiveTcAlloc(0, 0, 0, 0, 0), 0) << "all equal";
    EXPECT_EQ(AdaptiveTcAlloc(10, 0, 0, 0, -5), 2) << "C over L, R below L: f = 6, L >= LS";
    EXPECT_EQ(AdaptiveTcAlloc(10, 0, 0, 0, 5), 1) << "C over L, f = 5, R >= RS";
    EXPECT_EQ(AdaptiveTcAlloc(10, -3, 8, 0, 5), 7) << "f = 5, R < RS";
    EXPECT_EQ(AdaptiveTcAlloc(10, 3, 0, 0, 0), 6) << "R = L and L < LS: f = 6, L < LS";
    EXPECT_EQ(AdaptiveTcAlloc(0, 5, 0, 0, -5), 6) << "C not over L but over R: f = 6, L < LS";
    EXPECT_EQ(AdaptiveTcAlloc(-10, 5, 0, 0, 0), 3) << "f = 2, LS over L, R >= RS";
    EXPECT_EQ(AdaptiveTcAlloc(-10, 5, 5, 0, 0), 5) << "f = 2, LS over L, R < RS";
    EXPECT_EQ(AdaptiveTcAlloc(-10, 0, 5, 0, 0), 4) << "f = 2, RS over R";
}

TEST(TcAllocation, PositionsCarryTheTableSlots) {
    EXPECT_EQ(TransmittedSlot(kConfig32, 0, 2), kSlotC);
    EXPECT_EQ(TransmittedSlot(kConfig32, 5, 3), kSlotL);
    EXPECT_EQ(TransmittedSlot(kConfig32, 5, 4), kSlotR);
    EXPECT_EQ(TransmittedSlot(kConfig32, 7, 2), kSlotL);
    EXPECT_EQ(TransmittedSlot(kConfig32, 7, 4), kSlotR);
    EXPECT_EQ(TransmittedSlot(102, 3, 4), 4) << "identity without a table";
}

void FillGroupLevels(SubbandFrame& frame, double c, double ls, double rs, double l, double r) {
    for (int sb = 0; sb < kSubbands; ++sb) {
        frame.maxScale[kSlotC][sb] = c;
        frame.maxScale[kSlotLs][sb] = ls;
        frame.maxScale[kSlotRs][sb] = rs;
        frame.maxScale[kSlotL][sb] = l;
        frame.maxScale[kSlotR][sb] = r;
    }
}

TEST(TcAllocation, EqualScalesAndProcedureThreeGiveZeroInOneField) {
    auto frame = std::make_unique<SubbandFrame>();
    EncoderRandom random(kEncoderRandomSeed);
    FillGroupLevels(*frame, 0.5, 0.5, 0.5, 0.5, 0.5);
    MpegHeader header;
    header.center = 1;
    ChooseTcAlloc(header, frame->maxScale, kTcAllocAdaptive, random);
    for (int g = 0; g < kSubbandGroups; ++g) EXPECT_EQ(header.tcAlloc[g], 0);
    EXPECT_EQ(header.tcSbgrSelect, 1);

    FillGroupLevels(*frame, 0.1, 0.9, 0.9, 0.2, 0.2);
    header.dematrixProcedure = 3;
    ChooseTcAlloc(header, frame->maxScale, kTcAllocRandom, random);
    for (int g = 0; g < kSubbandGroups; ++g) EXPECT_EQ(header.tcAlloc[g], 0);
    EXPECT_EQ(header.tcSbgrSelect, 1);
    EXPECT_EQ(header.tcAllocation, 0);
}

TEST(TcAllocation, DifferentGroupsClearTheSingleField) {
    auto frame = std::make_unique<SubbandFrame>();
    EncoderRandom random(kEncoderRandomSeed);
    FillGroupLevels(*frame, 0.5, 0.5, 0.5, 0.5, 0.5);
    frame->maxScale[kSlotRs][3] = 0.9;  // group 3: RS louder than R
    MpegHeader header;
    header.center = 1;
    ChooseTcAlloc(header, frame->maxScale, kTcAllocAdaptive, random);
    EXPECT_EQ(header.tcAlloc[3], 4);
    EXPECT_EQ(header.tcSbgrSelect, 0);
}

TEST(TcAllocation, ProcedureTwoNeverCarriesBothFrontsWithTheCentre) {
    EXPECT_FALSE(TcAllocDematrixable(5, 2));
    EXPECT_TRUE(TcAllocDematrixable(5, 0));
    EXPECT_TRUE(TcAllocDematrixable(3, 2));
    auto frame = std::make_unique<SubbandFrame>();
    EncoderRandom random(kEncoderRandomSeed);
    FillGroupLevels(*frame, 0.1, 0.9, 0.9, 0.2, 0.2);  // adaptive would choose 5
    MpegHeader header;
    header.center = 1;
    ChooseTcAlloc(header, frame->maxScale, kTcAllocAdaptive, random);
    EXPECT_EQ(header.tcAlloc[0], 5);
    header.dematrixProcedure = 2;
    ChooseTcAlloc(header, frame->maxScale, kTcAllocAdaptive, random);
    for (int g = 0; g < kSubbandGroups; ++g) EXPECT_TRUE(TcAllocDematrixable(header.tcAlloc[g], 2));
    for (int i = 0; i < 200; ++i) {
        ChooseTcAlloc(header, frame->maxScale, kTcAllocRandom, random);
        for (int g = 0; g < kSubbandGroups; ++g) {
            EXPECT_TRUE(TcAllocDematrixable(header.tcAlloc[g], 2));
            EXPECT_GE(header.tcAlloc[g], 0);
            EXPECT_LT(header.tcAlloc[g], kTcAllocValues);
        }
    }
}

TEST(TcAllocation, RandomChoicesComeFromTheGivenGeneratorOnly) {
    auto frame = std::make_unique<SubbandFrame>();
    FillGroupLevels(*frame, 0.5, 0.5, 0.5, 0.5, 0.5);
    constexpr int kFrames = 400;
    // Draws kFrames frames of choices from a generator seeded with `seed`; std::rand is
    // stirred in between and must not matter.
    auto draw = [&](EncoderRandom::result_type seed, int center) {
        EncoderRandom random(seed);
        MpegHeader header;
        header.center = center;
        std::vector<int> values;
        for (int i = 0; i < kFrames; ++i) {
            std::srand(static_cast<unsigned>(i));
            ChooseTcAlloc(header, frame->maxScale, kTcAllocRandom, random);
            values.insert(values.end(), header.tcAlloc.begin(), header.tcAlloc.end());
        }
        return values;
    };
    const std::vector<int> first = draw(kEncoderRandomSeed, 1);
    EXPECT_EQ(first, draw(kEncoderRandomSeed, 1));
    EXPECT_NE(first, draw(kEncoderRandomSeed + 1, 1));
    // Every value comes up, each in about an eighth of the draws.
    std::array<int, kTcAllocValues> counts{};
    for (int v : first) ++counts[static_cast<std::size_t>(v)];
    const int expected = kFrames * kSubbandGroups / kTcAllocValues;
    for (int t = 0; t < kTcAllocValues; ++t)
        EXPECT_GT(counts[static_cast<std::size_t>(t)], expected * 3 / 4) << t;
    // With a limited centre the upper groups carry only 0, 3, 4 and 5, each of them.
    const std::vector<int> limited = draw(kEncoderRandomSeed, kLimitedCentre);
    std::array<int, kTcAllocValues> upper{};
    for (std::size_t i = 0; i < limited.size(); ++i) {
        if (i % kSubbandGroups >= 10) ++upper[static_cast<std::size_t>(limited[i])];
    }
    EXPECT_EQ(upper[1] + upper[2] + upper[6] + upper[7], 0);
    const int expectedUpper = 2 * kFrames / 4;  // two groups a frame, four values
    for (int t : {0, 3, 4, 5}) EXPECT_GT(upper[static_cast<std::size_t>(t)], expectedUpper * 3 / 4);
}

}  // namespace
}  // namespace tavrisk::mp2
