// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "mp2enc/CandidateSearch.h"

namespace tavrisk::mp2 {
namespace {

constexpr double kNone = CandidateSearch::kNone;

// The first strictly smallest value, as a plain scan finds it.
struct ScanSearch {
    std::vector<double> values;
    void Fill(const double* v, int count) { values.assign(v, v + count); }
    int Best() const {
        const auto first = std::min_element(values.begin(), values.end());
        return first == values.end() || *first == kNone ? -1 : first - values.begin();
    }
    int BestInLanes() const { return Best(); }
    int Replace(int index, double value) {
        values[index] = value;
        return Best();
    }
    int ReplaceInLanes(int index, double value) { return Replace(index, value); }
};

// Every choice over 2000 changes: mostly the best raised by 0 to 1.5 (as the allocation
// does), at times another value, now and then one closed.
template <class Search, bool kInLanes = false>
[[gnu::always_inline]] inline std::vector<int> Choices(std::vector<double> values, unsigned seed) {
    auto search = std::make_unique<Search>();
    search->Fill(values.data(), static_cast<int>(values.size()));
    std::vector<int> choices;
    int best = kInLanes ? search->BestInLanes() : search->Best();
    for (int step = 0; step < 2000; ++step) {
        choices.push_back(best);
        seed = seed * 1103515245u + 12345u;
        int index = best;
        if (best < 0 || seed >> 30 == 0) index = static_cast<int>((seed >> 8) % values.size());
        values[index] = seed % 17 == 0 ? kNone : values[index] + (seed >> 20) % 4 * 0.5;
        best = kInLanes ? search->ReplaceInLanes(index, values[index])
                        : search->Replace(index, values[index]);
    }
    return choices;
}

[[gnu::target("avx2")]] std::vector<int> RunAvx2(const std::vector<double>& values, unsigned seed) {
    return Choices<CandidateSearch, true>(values, seed);
}

// Every choice against the scan, plain and AVX2, with ties (values in steps of 0.5, -0 and
// +0), closed values, and counts that fill a block of 16 partly, exactly or not at all.
TEST(CandidateSearch, PicksTheFirstSmallestValueLikeAScan) {
    for (int count : {1, 15, 16, 17, 64, 96, 160, 256}) {
        std::vector<double> values(count);
        unsigned state = count;
        for (double& v : values) {
            state = state * 1103515245u + 12345u;
            v = (state >> 16) % 7 * 0.5 - 1.5;
        }
        if (count > 3) values[2] = -0.0;
        const std::vector<int> expected = Choices<ScanSearch>(values, count);
        EXPECT_TRUE(count > 1 || expected.back() == -1) << "the one value closes in the end";
        EXPECT_EQ(Choices<CandidateSearch>(values, count), expected) << count;
        if (__builtin_cpu_supports("avx2")) {
            EXPECT_EQ(RunAvx2(values, count), expected) << count;
        }
    }
}

}  // namespace
}  // namespace tavrisk::mp2
