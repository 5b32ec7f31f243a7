// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/FrameRows.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
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

// Whole values of six rows into 16-bit frames, as the casts to int32_t and int16_t give them
// one by one: the range's ends, values that differ in every row and frame, a rest.
TEST(FrameRows, RowsBecomeSixteenBitFrames) {
    constexpr std::size_t kCount = 29, kRows = frame_rows::kChannels;
    std::array<std::vector<double>, kRows> rows;
    std::array<const double*, kRows> rowStarts{};
    for (std::size_t r = 0; r < kRows; ++r) {
        for (std::size_t i = 0; i < kCount; ++i) {
            const double ends[] = {-32768.0, 32767.0, -1.0, 0.0};
            rows[r].push_back(i % 7 == 3 ? ends[(i + r) % 4] : (i * 6.0 + r) * (r % 2 ? -97 : 89));
        }
        rowStarts[r] = rows[r].data();
    }
    std::vector<int16_t> frames(kCount * kRows);
    frame_rows::RowsToSamples16(rowStarts.data(), kCount, frames.data());
    for (std::size_t i = 0; i < kCount; ++i) {
        for (std::size_t r = 0; r < kRows; ++r) {
            ASSERT_EQ(frames[i * kRows + r], static_cast<int16_t>(rows[r][i])) << i << " " << r;
        }
    }
}

}  // namespace
}  // namespace tavrisk
