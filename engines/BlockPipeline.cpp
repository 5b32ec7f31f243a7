// SPDX-License-Identifier: GPL-3.0-or-later
#include "engines/BlockPipeline.h"

namespace tavrisk {

BlockPipeline::BlockPipeline(Work work, std::size_t depth) : work(std::move(work)) {
    slots.reserve(depth);
    for (std::size_t i = 0; i < depth; ++i) slots.push_back(std::make_unique<SampleBlock>());
    worker = std::thread([this] { Loop(); });
}

BlockPipeline::~BlockPipeline() {
    Drain();
    {
        const std::lock_guard guard(lock);
        ending = true;
    }
    changed.notify_all();
    worker.join();
}

bool BlockPipeline::Push(const SampleBlock& block) {
    std::unique_lock guard(lock);
    changed.wait(guard, [this] { return failed || queued < slots.size(); });
    if (failed) return false;
    const std::size_t slot = (first + queued) % slots.size();
    // The worker never touches a slot outside [first, first + queued).
    guard.unlock();
    *slots[slot] = block;
    guard.lock();
    ++queued;
    guard.unlock();
    changed.notify_all();
    return true;
}

bool BlockPipeline::Drain() {
    std::unique_lock guard(lock);
    changed.wait(guard, [this] { return queued == 0; });
    return !failed;
}

void BlockPipeline::Loop() {
    std::unique_lock guard(lock);
    while (true) {
        changed.wait(guard, [this] { return ending || queued > 0; });
        if (queued == 0) return;  // ending, with nothing left
        const SampleBlock& block = *slots[first];
        const bool skip = failed;
        guard.unlock();
        const bool ok = skip || work(block);
        guard.lock();
        if (!ok) failed = true;
        first = (first + 1) % slots.size();
        --queued;
        changed.notify_all();
    }
}

}  // namespace tavrisk
