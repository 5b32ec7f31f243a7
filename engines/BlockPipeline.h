// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>

#include "dsp/SampleBlock.h"
#include "engines/WorkerQueue.h"

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
    static constexpr std::size_t kDefaultDepth = 8;

    explicit BlockPipeline(Work work, std::size_t depth = kDefaultDepth)
        : queue(std::vector<SampleBlock>(depth), std::move(work)) {}

    // Copies the block into the queue, waiting while it is full. False once the work failed
    // on an earlier block: this one is not queued.
    bool Push(const SampleBlock& block) {
        SampleBlock* slot = Room();
        if (!slot) return false;
        *slot = block;
        Commit();
        return true;
    }
    // Where the next block is written in place, waiting while the queue is full: the same
    // room until Commit queues it. Null once the work failed on an earlier block.
    SampleBlock* Room() { return queue.Acquire(); }
    void Commit() { queue.Commit(); }
    // Waits until every block pushed was handled; false when the work failed on one.
    bool Drain() { return queue.Drain(); }

  private:
    WorkerQueue<SampleBlock> queue;
};

}  // namespace tavrisk
