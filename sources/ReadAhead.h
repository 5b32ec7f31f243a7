// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tavrisk {

// Fills items on a thread of its own, ahead of the one that takes them, through a bounded
// ring: the filler waits while every item is full, the taker while none is. A filler that
// found every item full goes on once half of them were taken, so that a taker slower than
// its filler wakes it once for several items, not for each. The items are made once, so the
// memory does not grow with the input; the filler reuses an item's storage once it was
// released. The filling ends with the item `fill` calls the last one, or at Halt.
template <typename Item>
class ReadAhead {
  public:
    // Fills one item; false when it is the last one.
    using Fill = std::function<bool(Item&)>;

    ReadAhead(std::vector<Item> ring, Fill fill) : items(std::move(ring)), fill(std::move(fill)) {}
    // Starts the filling, once.
    void Start() {
        filler = std::thread([this] { Loop(); });
    }
    ~ReadAhead() { Halt(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Waits for the oldest item filled; it stays the taker's until Release. Not called again
    // once the last item was taken. While it waits, the filler's questions (Ask) are answered
    // by `answer`, on the taker's thread.
    Item& Next(const std::function<void()>& answer) {
        std::unique_lock guard(lock);
        for (;;) {
            changed.wait(guard, [this] { return filled > 0 || asked; });
            if (filled > 0) return items[first];
            guard.unlock();
            answer();
            guard.lock();
            asked = false;
            changed.notify_all();
        }
    }
    // On the filler's thread: waits until the taker answered (in Next); false when halted
    // meanwhile.
    bool Ask() {
        std::unique_lock guard(lock);
        asked = true;
        changed.notify_all();
        changed.wait(guard, [this] { return !asked || halted; });
        asked = false;
        return !halted;
    }
    // The item Next gave may be filled again.
    void Release() {
        bool fillerGoesOn = false;
        {
            const std::lock_guard guard(lock);
            first = (first + 1) % items.size();
            fillerGoesOn = --filled == ResumeLevel();
        }
        if (fillerGoesOn) changed.notify_all();
    }
    // Ends the filling after the item being filled, and waits for it.
    void Halt() {
        {
            const std::lock_guard guard(lock);
            halted = true;
        }
        changed.notify_all();
        if (filler.joinable()) filler.join();
    }
    bool OnFillerThread() const { return std::this_thread::get_id() == fillerId.load(); }

  private:
    void Loop() {
        fillerId = std::this_thread::get_id();
        std::unique_lock guard(lock);
        for (;;) {
            if (filled == items.size()) {
                changed.wait(guard, [this] { return halted || filled <= ResumeLevel(); });
            }
            if (halted) return;
            // The taker never touches an item outside [first, first + filled).
            Item& item = items[(first + filled) % items.size()];
            guard.unlock();
            const bool more = fill(item);
            guard.lock();
            ++filled;
            changed.notify_all();
            if (!more) return;
        }
    }

    // The full items at which a filler that found the ring full goes on.
    std::size_t ResumeLevel() const { return items.size() / 2; }

    std::vector<Item> items;
    Fill fill;
    std::mutex lock;
    std::condition_variable changed;
    std::size_t first = 0;
    std::size_t filled = 0;
    bool halted = false;
    bool asked = false;
    std::atomic<std::thread::id> fillerId{};
    std::thread filler;
};

}  // namespace tavrisk
