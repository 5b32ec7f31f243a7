// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/SynthesisQueue.h"

#include <system_error>

namespace tavrisk::mp2dec {

SynthesisQueue::SynthesisQueue(FrameDecoder& decoder, bool ownThread)
    : decoder(decoder), capacity(ownThread ? kFrames : 1) {
    for (int i = 0; i < capacity; ++i) frames[i] = std::make_unique<PendingFrame>();
    if (!ownThread) return;
    try {
        thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        capacity = 1;  // no thread to be had: frames are synthesised as they are handed over
    }
}

SynthesisQueue::~SynthesisQueue() {
    if (!thread.joinable()) return;
    {
        const std::lock_guard lock(mutex);
        stop = true;
        handedOverMore.notify_one();
    }
    thread.join();
}

void SynthesisQueue::Submit() {
    PendingFrame& frame = Filling();
    ++submitted;
    if (!thread.joinable()) {
        decoder.Synthesize(frame.subbands, frame.pcm.data());
        return;
    }
    const std::lock_guard lock(mutex);
    handedOver = submitted;
    // The thread, once it has caught up, sleeps until a few frames are waiting for it.
    if (threadAsleep && handedOver - synthesised.load(std::memory_order_relaxed) >= kWakeBatch)
        handedOverMore.notify_one();
}

PendingFrame& SynthesisQueue::Oldest() {
    if (thread.joinable() && synthesised.load() <= released) {
        std::unique_lock lock(mutex);
        if (threadAsleep) handedOverMore.notify_one();
        // Told asleep before looking again: the thread then either sees it or has stored
        // what it synthesised before the look.
        callerAsleep.store(true);
        synthesisedMore.wait(lock, [this] { return synthesised.load() > released; });
        callerAsleep.store(false);
    }
    return *frames[released % capacity];
}

void SynthesisQueue::Run() {
    int done = 0;
    std::unique_lock lock(mutex);
    for (;;) {
        threadAsleep = true;
        handedOverMore.wait(lock, [&] { return stop || handedOver > done; });
        threadAsleep = false;
        if (stop) return;
        const int handed = handedOver;
        lock.unlock();
        for (; done < handed; ++done) {
            PendingFrame& frame = *frames[done % capacity];
            decoder.Synthesize(frame.subbands, frame.pcm.data());
            synthesised.store(done + 1);
            if (callerAsleep.load()) {
                const std::lock_guard told(mutex);
                synthesisedMore.notify_one();
            }
        }
        lock.lock();
    }
}

}  // namespace tavrisk::mp2dec
