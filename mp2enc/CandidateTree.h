// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <limits>

namespace tavrisk::mp2 {

// A tournament tree over up to N candidates: finds the smallest value, ties going to the
// lower index, in constant time, and takes one changed value in log N steps. A scan that
// keeps the first strictly smaller value picks the same candidate.
template <int N>
class CandidateTree {
  public:
    static constexpr double kNone = std::numeric_limits<double>::infinity();

    void Fill(const double* values, int count) {
        for (int i = 0; i < N; ++i) Leaf(i) = i < count ? values[i] : kNone;
        for (int node = N - 1; node >= 1; --node)
            winner[node] = Better(winner[2 * node], winner[2 * node + 1]);
    }
    void Set(int index, double value) {
        value_[index] = value;
        for (int node = (index + N) / 2; node >= 1; node /= 2) {
            winner[node] = Better(winner[2 * node], winner[2 * node + 1]);
        }
    }
    // Index of the smallest value, or -1 when every value is kNone.
    int Best() const { return value_[winner[1]] == kNone ? -1 : winner[1]; }

  private:
    double& Leaf(int i) {
        winner[N + i] = i;
        return value_[i];
    }
    int Better(int a, int b) const { return value_[b] < value_[a] ? b : a; }

    std::array<double, N> value_{};
    std::array<int, 2 * N> winner{};
};

}  // namespace tavrisk::mp2
