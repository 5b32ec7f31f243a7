// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dsp/SampleBlock.h"

namespace tavrisk {

// Hands blocks to a worker thread through a bounded queue, so that the work on a block
// (encoding it) runs while the caller reads and processes the next ones. The blocks are
// handled one at a time, in the order pushed; the queue's slots are allocated once, so the
// memory does not grow with the input. The work is only ever touched by the worker between
// the first Push and Drain: the caller may use what it works on again once Drain returned.
class BlockPipeline {
  public:
    // The work on one block; false when it failed (no later block is then handed to it).
    using Work = std::function<bool(const SampleBlock&)>;
    static constexpr std::size_t kDefaultDepth = 4;

    explicit BlockPipeline(Work work, std::size_t depth = kDefaultDepth);
    // Drains, then ends the worker.
    ~BlockPipeline();
    BlockPipeline(const BlockPipeline&) = delete;
    BlockPipeline& operator=(const BlockPipeline&) = delete;

    // Copies the block into the queue, waiting while it is full. False once the work failed
    // on an earlier block: this one is not queued.
    bool Push(const SampleBlock& block);
    // Waits until every block pushed was handled; false when the work failed on one.
    bool Drain();

  private:
    void Loop();

    Work work;
    std::vector<std::unique_ptr<SampleBlock>> slots;
    std::mutex lock;
    std::condition_variable changed;
    std::size_t first = 0;   // oldest queued slot
    std::size_t queued = 0;  // slots waiting or being handled
    bool failed = false;
    bool ending = false;
    std::thread worker;  // starts last, ends first
};

}  // namespace tavrisk
