// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace tavrisk {

// Wakes the command line's job loop when the pipeline posts a message (its end, say), so
// that a graph job ends then rather than at the loop's next tick. Notify is called from any
// thread; the object outlives the pipeline that calls it.
class PipelineWakeUp {
  public:
    // What the pipeline calls.
    std::function<void()> Notifier() {
        return [this] { Notify(); };
    }
    void Notify() {
        {
            const std::lock_guard guard(lock);
            notified = true;
        }
        posted.notify_one();
    }
    // Waits for a message until `deadline`; true (and the notice taken) when one came.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock guard(lock);
        posted.wait_until(guard, deadline, [this] { return notified; });
        const bool came = notified;
        notified = false;
        return came;
    }

  private:
    std::mutex lock;
    std::condition_variable posted;
    bool notified = false;
};

}  // namespace tavrisk
