// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "sources/SampleSource.h"
#include "tests/ac3/Ac3TestInputs.h"

namespace tavrisk::test {

// Block row of each channel slot L, C, R, LS, RS, LFE.
inline constexpr std::array<int, kAc3Channels> kRowOfSlot = {0, 2, 1, 4, 5, 3};

// What a source delivered: the rows of all blocks, one after another.
struct Delivered {
    bool opened = false;
    std::size_t blocks = 0;
    std::array<std::vector<double>, kAc3Channels> rows;
    std::size_t Frames() const { return rows[0].size(); }
    const std::vector<double>& Slot(int slot) const { return rows[kRowOfSlot[slot]]; }
    // One slot from `from` to `to`, for tone measurements.
    std::vector<double> Stretch(int slot, std::size_t from, std::size_t to) const;
};

// Opens the source on `path` and reads at most `maxBlocks` blocks from it, then closes it.
Delivered RunSource(SampleSource& source, const std::string& path, std::size_t maxBlocks = 100000);

// True when every row is zero from `from` to `to`.
bool AllZero(const Delivered& d, std::size_t from, std::size_t to);
// The largest difference between `count` frames of the delivered rows from `from` on and
// those of a reference from `offset` on.
double WorstDifference(const Delivered& d, std::size_t from, const Delivered& reference,
                       std::size_t offset, std::size_t count);
// The same from the start of the delivered rows.
inline double WorstDifference(const Delivered& d, const Delivered& reference, std::size_t offset,
                              std::size_t count) {
    return WorstDifference(d, 0, reference, offset, count);
}

}  // namespace tavrisk::test
