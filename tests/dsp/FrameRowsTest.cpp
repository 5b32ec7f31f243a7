// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/FrameRows.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace tavrisk {
namespace {

// Rows into frames, each row times its gain, and back into rows: every value at its place,
// over whole groups of eight frames and a rest.
TEST(FrameRows, RowsAndFramesTradePlaces) {
    constexpr std::size_t kCount = 29, kRows = frame_rows::kChannels;
    const std::array<float, kRows> gains = {1.0f, 0.5f, 0.70710678f, -1.0f, 3.0f, 1.0f};
    std::array<std::vector<float>, kRows> rows;
    std::array<const float*, kRows> rowStarts{};
    for (std::size_t r = 0; r < kRows; ++r) {
        for (std::size_t i = 0; i < kCount; ++i) rows[r].push_back(0.25f + r * 100.0f + i);
        rowStarts[r] = rows[r].data();
    }
    std::vector<float> frames(kCount * kRows);
    frame_rows::RowsToFrames(rowStarts.data(), gains.data(), kCount, frames.data());
    std::array<std::vector<double>, kRows> back;
    std::array<double*, kRows> backStarts{};
    for (std::size_t r = 0; r < kRows; ++r) {
        back[r].resize(kCount);
        backStarts[r] = back[r].data();
    }
    frame_rows::FramesToRows(frames.data(), kCount, backStarts.data());
    for (std::size_t i = 0; i < kCount; ++i) {
        for (std::size_t r = 0; r < kRows; ++r) {
            ASSERT_EQ(frames[i * kRows + r], rows[r][i] * gains[r]) << i << " " << r;
            ASSERT_EQ(back[r][i], frames[i * kRows + r]) << i << " " << r;
        }
    }
}

}  // namespace
}  // namespace tavrisk
