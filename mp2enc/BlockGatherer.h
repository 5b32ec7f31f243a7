// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <span>

#include "dsp/SampleBlock.h"

namespace tavrisk::mp2 {

// Gathers planes of samples of any length into whole blocks for an encoder.
class BlockGatherer {
  public:
    BlockGatherer() : block(std::make_unique<SampleBlock>()) {}

    // Drops the samples of a partial block.
    void Reset() { gathered = 0; }
    // Takes `count` samples of each plane (rows in SampleBlock's order; rows without a plane
    // stay silent) and calls encode(block) for each block they complete; stops at the first
    // call that returns false and returns false then.
    template <typename Encode>
    bool Push(std::span<const double* const> planes, std::size_t count, Encode&& encode) {
        const std::size_t rows = std::min(planes.size(), SampleBlock::kChannels);
        std::size_t taken = 0;
        while (taken < count) {
            const std::size_t step = std::min(count - taken, SampleBlock::kFrames - gathered);
            for (std::size_t r = 0; r < rows; ++r) {
                std::copy_n(planes[r] + taken, step, block->Row(r) + gathered);
            }
            gathered += step;
            taken += step;
            if (gathered == SampleBlock::kFrames) {
                gathered = 0;
                if (!encode(static_cast<const SampleBlock&>(*block))) return false;
            }
        }
        return true;
    }
    // The partial block padded with silence, or nullptr when there is none; the gatherer
    // starts empty again.
    const SampleBlock* PaddedRest() {
        if (gathered == 0) return nullptr;
        for (std::size_t r = 0; r < SampleBlock::kChannels; ++r) {
            std::fill(block->Row(r) + gathered, block->Row(r) + SampleBlock::kFrames, 0.0);
        }
        gathered = 0;
        return block.get();
    }

  private:
    std::unique_ptr<SampleBlock> block;
    std::size_t gathered = 0;
};

}  // namespace tavrisk::mp2
