// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ac3/Ac3SourceRun.h"

#include <algorithm>
#include <cmath>

namespace tavrisk::test {

std::vector<double> Delivered::Stretch(int slot, std::size_t from, std::size_t to) const {
    const auto& row = Slot(slot);
    return {row.begin() + static_cast<std::ptrdiff_t>(from),
            row.begin() + static_cast<std::ptrdiff_t>(to)};
}

Delivered RunSource(SampleSource& source, const std::string& path, std::size_t maxBlocks) {
    Delivered out;
    out.opened = source.Open(path);
    if (!out.opened) return out;
    SampleBlock block;
    while (out.blocks < maxBlocks && source.ReadBlock(block).HasBlock()) {
        ++out.blocks;
        for (int row = 0; row < kAc3Channels; ++row) {
            out.rows[row].insert(out.rows[row].end(), block.Row(row),
                                 block.Row(row) + SampleBlock::kFrames);
        }
    }
    source.Close();
    return out;
}

bool AllZero(const Delivered& d, std::size_t from, std::size_t to) {
    for (const auto& row : d.rows) {
        for (std::size_t i = from; i < to; ++i) {
            if (row[i] != 0.0) return false;
        }
    }
    return true;
}

double WorstDifference(const Delivered& d, std::size_t from, const Delivered& reference,
                       std::size_t offset, std::size_t count) {
    double worst = 0.0;
    for (int row = 0; row < kAc3Channels; ++row) {
        for (std::size_t i = 0; i < count; ++i) {
            worst =
                std::max(worst, std::fabs(d.rows[row][from + i] - reference.rows[row][offset + i]));
        }
    }
    return worst;
}

}  // namespace tavrisk::test
