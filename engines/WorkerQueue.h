// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tavrisk {

// Hands items to a worker thread through a bounded ring: the caller fills the next free item
// in place (Acquire, then Commit), waiting while every item is queued; the worker handles
// them one at a time, in order. A caller that found the ring full goes on once half of it is
// free, so that a worker slower than its caller wakes it once for several items, not for
// each. The items are made once, so the memory does not grow with the input. What the work
// touches is the worker's between the first Commit and Drain.
template <typename Item>
class WorkerQueue {
  public:
    // The work on one item; false when it failed (no later item is then handed to it).
    using Work = std::function<bool(const Item&)>;

    WorkerQueue(std::vector<Item> ring, Work work) : items(std::move(ring)), work(std::move(work)) {
        worker = std::thread([this] { Loop(); });
    }
    // Drains, then ends the worker.
    ~WorkerQueue() {
        Drain();
        {
            const std::lock_guard guard(lock);
            ending = true;
        }
        workQueued.notify_one();
        worker.join();
    }
    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;

    // The next free item, waiting while the ring is full; null once the work failed on an
    // earlier item.
    Item* Acquire() {
        std::unique_lock guard(lock);
        if (queued == items.size()) {
            roomFreed.wait(guard, [this] { return failed || queued <= items.size() / 2; });
        }
        if (failed) return nullptr;
        // The worker never touches an item outside [first, first + queued).
        return &items[(first + queued) % items.size()];
    }
    // Queues the item Acquire gave.
    void Commit() {
        {
            const std::lock_guard guard(lock);
            ++queued;
        }
        workQueued.notify_one();
    }
    // Waits until every item committed was handled; false when the work failed on one.
    bool Drain() {
        std::unique_lock guard(lock);
        roomFreed.wait(guard, [this] { return queued == 0; });
        return !failed;
    }

  private:
    void Loop() {
        std::unique_lock guard(lock);
        while (true) {
            workQueued.wait(guard, [this] { return ending || queued > 0; });
            if (queued == 0) return;  // ending, with nothing left
            const Item& item = items[first];
            const bool skip = failed;
            guard.unlock();
            const bool ok = skip || work(item);
            guard.lock();
            if (!ok) failed = true;
            first = (first + 1) % items.size();
            --queued;
            // Only a waiter that can go on is woken (a notice nobody waits for costs little).
            if (failed || queued <= items.size() / 2) roomFreed.notify_all();
        }
    }

    std::vector<Item> items;
    Work work;
    std::mutex lock;
    std::condition_variable workQueued;  // the worker waits for an item
    std::condition_variable roomFreed;   // the caller waits for room, or for the drain
    std::size_t first = 0;   // oldest queued item
    std::size_t queued = 0;  // items waiting or being handled
    bool failed = false;
    bool ending = false;
    std::thread worker;  // starts last, ends first
};

}  // namespace tavrisk
