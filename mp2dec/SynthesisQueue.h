// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "mp2dec/FrameDecoder.h"
#include "mp2dec/OutputLayout.h"
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

// A frame read and not yet written: its subband samples, its samples once synthesised, and
// what reading it found.
struct PendingFrame {
    FrameSubbands subbands;
    std::array<int16_t, kFrameSamples * kOutputChannels> pcm{};
    ProblemLog problems;  // found since the frame before was read, and in this one
    long number = 0;
    FrameDecoder::Result result = FrameDecoder::kDecoded;
    OutputLayout layout;      // the channels the output would take from it
    ExtensionInfo extension;  // its multichannel header
    uint64_t bytesDone = 0;   // of the stream, up to its end
};

// The frames between reading and writing, synthesised in their order by the decoder's
// second step: on a thread of the queue's own when asked (then the next frames are read
// while the earlier ones are synthesised), else at once when handed over. The caller fills
// the frame Filling gives, hands it over with Submit, and takes the frames back in the same
// order with Oldest and Release.
class SynthesisQueue {
  public:
    SynthesisQueue(FrameDecoder& decoder, bool ownThread);
    ~SynthesisQueue();
    SynthesisQueue(const SynthesisQueue&) = delete;
    SynthesisQueue& operator=(const SynthesisQueue&) = delete;

    // No frame can be handed over until the oldest is released.
    bool Full() const { return submitted - released == capacity; }
    int Pending() const { return submitted - released; }
    PendingFrame& Filling() { return *frames[submitted % capacity]; }
    void Submit();
    // The oldest frame handed over and not released, once it is synthesised.
    PendingFrame& Oldest();
    void Release() { ++released; }

  private:
    // Waking a thread costs about what synthesising a frame does, so the thread is woken
    // for many frames at once.
    static constexpr int kFrames = 32;
    static constexpr int kWakeBatch = kFrames / 2;

    void Run();

    FrameDecoder& decoder;
    std::array<std::unique_ptr<PendingFrame>, kFrames> frames;
    int capacity;
    int submitted = 0;  // the caller's counts
    int released = 0;
    // Shared with the thread: each side is woken only while it sleeps.
    std::mutex mutex;
    std::condition_variable handedOverMore;
    std::condition_variable synthesisedMore;
    int handedOver = 0;  // under `mutex`, as are the two below
    bool threadAsleep = false;
    bool stop = false;
    std::atomic<int> synthesised{0};
    std::atomic<bool> callerAsleep{false};
    std::thread thread;
};

}  // namespace tavrisk::mp2dec
