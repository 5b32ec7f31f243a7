// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>

namespace tavrisk {

// The unit an engine pulls from its source: six channel-major rows of 1152 whole 16-bit
// values carried as doubles, rows in the order L, R, C, LFE, LS, RS.
struct SampleBlock {
    static constexpr std::size_t kFrames = 1152;
    static constexpr std::size_t kChannels = 6;
    enum Row : std::size_t { kRowL = 0, kRowR, kRowC, kRowLfe, kRowLs, kRowRs };

    std::array<double, kFrames * kChannels> values{};

    double* Row(std::size_t row) { return values.data() + row * kFrames; }
    const double* Row(std::size_t row) const { return values.data() + row * kFrames; }
};

}  // namespace tavrisk
