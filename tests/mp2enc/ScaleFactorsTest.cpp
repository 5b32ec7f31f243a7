// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "mp2enc/ScaleFactors.h"

namespace tavrisk::mp2 {
namespace {

TEST(ScaleFactors, IndexIsTheSmallestScaleFactorStrictlyAboveThePeak) {
    EXPECT_EQ(ScaleIndexFor(0.0), 62);
    EXPECT_EQ(ScaleIndexFor(1.0), 2) << "a peak equal to a scale factor takes the next larger";
    EXPECT_EQ(ScaleIndexFor(0.999969), 3);
    EXPECT_EQ(ScaleIndexFor(kScaleFactorTable[10]), 9);
    EXPECT_EQ(ScaleIndexFor(1.9), 0);
    EXPECT_EQ(ScaleIndexFor(2.0), 0);
    EXPECT_EQ(ScaleIndexFor(5.0), 0);
    for (int j = 0; j < 63; ++j) {
        EXPECT_EQ(ScaleIndexFor(kScaleFactorTable[j]), j > 0 ? j - 1 : 0) << j;
        EXPECT_EQ(ScaleIndexFor(kScaleFactorTable[j] * 0.999999), j) << j;
    }
    EXPECT_EQ(ScaleIndexFor(1e-9), 62);
    // The bisection agrees with the plain search from 62 down on a dense sweep.
    for (double peak = 1e-7; peak < 2.5; peak *= 1.001) {
        int expected = 0;
        for (int j = 62; j >= 0; --j) {
            if (peak < kScaleFactorTable[j]) {
                expected = j;
                break;
            }
        }
        ASSERT_EQ(ScaleIndexFor(peak), expected) << peak;
    }
}

// Peaks next to every boundary of the table and at every power of two in its range.
std::vector<double> BoundaryPeaks() {
    std::vector<double> peaks;
    for (int j = 0; j < 63; ++j) {
        const double boundary = kScaleFactorTable[j];
        peaks.insert(peaks.end(),
                     {boundary, std::nextafter(boundary, 0.0), std::nextafter(boundary, 4.0)});
    }
    for (int e = -24; e <= 2; ++e) {
        const double power = std::ldexp(1.0, e);
        for (double m : {1.0, 1.001, 1.2599210498948732, 1.26, 1.5874010519681994, 1.9}) {
            peaks.insert(peaks.end(), {power * m, std::nextafter(power * m, 0.0),
                                       std::nextafter(power * m, 4.0)});
        }
    }
    return peaks;
}

// The search from the peak's exponent against the plain search.
TEST(ScaleFactors, IndexFromTheExponentMatchesThePlainSearchAtEveryBoundary) {
    auto plainSearch = [](double peak) {
        for (int j = 62; j >= 0; --j) {
            if (peak < kScaleFactorTable[j]) return j;
        }
        return 0;
    };
    for (double peak : BoundaryPeaks()) ASSERT_EQ(ScaleIndexFor(peak), plainSearch(peak)) << peak;
}

// The frame's indices, found four subbands at a time where the processor can, are those of
// the search one peak at a time; past the limit they are the smallest.
TEST(ScaleFactors, CalcFindsEachPeaksIndexAsTheSearchDoes) {
    std::vector<double> peaks = BoundaryPeaks();
    peaks.insert(peaks.end(), {0.0, 1e-30, 2.0, 5.0, HUGE_VAL});
    auto frame = std::make_unique<SubbandFrame>();
    constexpr int kLimit = 27;  // not a whole number of fours
    for (std::size_t first = 0; first < peaks.size(); first += 3 * kLimit) {
        for (int part = 0; part < 3; ++part) {
            for (int sb = 0; sb < 32; ++sb) {
                const std::size_t at = first + part * kLimit + sb;
                frame->samples[0][part][5][sb] =
                    sb < kLimit && at < peaks.size() ? -peaks[at] : 0.0;
            }
        }
        ScaleFactorCalc(*frame, 0, 1, kLimit);
        for (int part = 0; part < 3; ++part) {
            for (int sb = 0; sb < 32; ++sb) {
                const int expected =
                    sb < kLimit ? ScaleIndexFor(std::fabs(frame->samples[0][part][5][sb])) : 62;
                ASSERT_EQ(frame->scaleIndex[0][part][sb], expected) << part << " " << sb;
            }
        }
    }
}

// Each index against that of the largest magnitude found sample by sample.
TEST(ScaleFactors, CalcTakesTheLargestMagnitudeOfEachPart) {
    auto frame = std::make_unique<SubbandFrame>();
    unsigned state = 99;
    double* samples = &frame->samples[3][0][0][0];  // the slot's samples in a row
    for (int i = 0; i < 3 * 12 * 32; ++i) {
        state = state * 1103515245u + 12345u;
        samples[i] =
            std::ldexp((state >> 8 & 0xffff) / 32768.0 - 1.0, -static_cast<int>(state >> 27));
    }
    ScaleFactorCalc(*frame, 3, 4, 30);
    for (int part = 0; part < 3; ++part) {
        for (int sb = 0; sb < 30; ++sb) {
            double peak = 0.0;
            for (int gr = 0; gr < 12; ++gr)
                peak = std::max(peak, std::fabs(frame->samples[3][part][gr][sb]));
            EXPECT_EQ(frame->scaleIndex[3][part][sb], ScaleIndexFor(peak)) << part << " " << sb;
        }
    }
}

TEST(ScaleFactors, SilenceGivesSmallestIndicesAndLimitsFillTheRest) {
    auto frame = std::make_unique<SubbandFrame>();
    frame->samples[0][1][5][3] = 0.3;  // one sample in part 1
    ScaleFactorCalc(*frame, 0, 2, 27);
    ScaleFactorCalc(*frame, 2, 7, 27);
    EXPECT_EQ(frame->scaleIndex[0][1][3], ScaleIndexFor(0.3));
    EXPECT_EQ(frame->scaleIndex[0][0][3], 62);
    EXPECT_EQ(frame->scaleIndex[4][2][30], 62);
    frame->samples[1][0][0][29] = 0.5;  // above the limit: ignored
    ScaleFactorCalc(*frame, 0, 2, 27);
    EXPECT_EQ(frame->scaleIndex[1][0][29], 62);

    PickScale(*frame, 2, 27, 7, 27);
    EXPECT_DOUBLE_EQ(frame->maxScale[0][3], kScaleFactorTable[ScaleIndexFor(0.3)]);
    EXPECT_DOUBLE_EQ(frame->maxScale[2][0], kScaleFactorTable[62]);
    EXPECT_DOUBLE_EQ(frame->maxScale[0][27], 1e-20);

    TransmissionPattern(*frame);
    EXPECT_EQ(frame->scfsi[5][0], 2);
}

struct PatternCase {
    int s0, s1, s2;
    int scfsi;
    int n0, n1, n2;
};

TEST(ScaleFactors, SelectionPatternsFollowTheDifferenceClasses) {
    const PatternCase cases[] = {
        {10, 10, 10, 2, 10, 10, 10},  // classes 2,2: 111
        {10, 20, 30, 0, 10, 20, 30},  // 0,0: 123
        {10, 12, 14, 2, 10, 10, 10},  // differences -2,-2 are classes 1,1: 111
        {12, 10, 8, 2, 8, 8, 8},      // 2,2 are classes 3,3: 333
        {12, 10, 10, 2, 10, 10, 10},  // 3,2: 222
        {10, 12, 10, 2, 10, 10, 10},  // 1,3: 444 with min(s0, s2)
        {13, 16, 10, 0, 13, 16, 10},  // -3,6 are classes 0,4: 123
        {9, 12, 10, 3, 9, 10, 10},    // 0,3: 133
        {20, 10, 10, 3, 20, 10, 10},  // 4,2: 122
        {10, 10, 20, 2, 10, 10, 10},  // 2,0: 111
        {10, 11, 20, 1, 10, 10, 20},  // 1,0: 113
        {20, 10, 4, 0, 20, 10, 4},    // 4,4: 123
    };
    for (const PatternCase& c : cases) {
        int s0 = c.s0, s1 = c.s1, s2 = c.s2;
        SCOPED_TRACE(testing::Message() << c.s0 << "," << c.s1 << "," << c.s2);
        EXPECT_EQ(SelectScaleFactors(s0, s1, s2), c.scfsi);
        EXPECT_EQ(s0, c.n0);
        EXPECT_EQ(s1, c.n1);
        EXPECT_EQ(s2, c.n2);
    }
}

// The frame's patterns against each triplet's selection: all difference pairs from -5 to 5
// (every class and edge) and the ends of the index range, at every slot and subband.
TEST(ScaleFactors, FramePatternsMatchTheSelectionOfEachTriplet) {
    std::vector<std::array<int, 3>> triplets;
    for (int base : {5, 31, 57}) {
        for (int d1 = -5; d1 <= 5; ++d1) {
            for (int d2 = -5; d2 <= 5; ++d2) triplets.push_back({base + d1, base, base - d2});
        }
    }
    triplets.insert(triplets.end(), {{0, 62, 0}, {62, 0, 62}, {0, 0, 62}, {62, 62, 0}});
    auto frame = std::make_unique<SubbandFrame>();
    constexpr int kPositions = kSlotsWithScfsi * kSubbands;
    for (std::size_t first = 0; first < triplets.size(); first += kPositions) {
        for (int i = 0; i < kPositions; ++i) {
            const auto& t = triplets[(first + i) % triplets.size()];
            for (int part = 0; part < 3; ++part) frame->scaleIndex[i / 32][part][i % 32] = t[part];
        }
        TransmissionPattern(*frame);
        for (int i = 0; i < kPositions; ++i) {
            auto t = triplets[(first + i) % triplets.size()];
            SCOPED_TRACE(testing::Message() << t[0] << "," << t[1] << "," << t[2]);
            ASSERT_EQ(frame->scfsi[i / 32][i % 32], SelectScaleFactors(t[0], t[1], t[2]));
            for (int part = 0; part < 3; ++part)
                ASSERT_EQ(frame->scaleIndex[i / 32][part][i % 32], t[part]);
        }
    }
}

}  // namespace
}  // namespace tavrisk::mp2
