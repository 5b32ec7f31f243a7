// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <chrono>
#include <memory>
#include <string>

namespace tavrisk {

// Lets one thread hand a stream to the next through a queue in steps of many buffers rather
// than one at a time. A full queue wakes its writer for every buffer taken, so the two threads
// take turns buffer by buffer; here the writer waits before the queue instead, until the
// stream has drained to a low mark, and then fills it to a high mark in one go; a reader
// faster than its writer may likewise wait for several buffers. The queue's
// byte limit stays, so memory does not grow with the input. A flush, a stop or Detach lets a
// waiting writer go at once. Used on the pipeline owner's thread; the probes run on the
// streaming threads.
class QueueHandOver {
  public:
    // Buffers the stream holds before its writer waits, how far it drains before the writer
    // goes on, and how many a reader that has emptied it waits for (0: it does not wait; nor
    // does it while an event is queued, nor while the pipeline prerolls, nor longer than its
    // patience).
    // The longest a reader waits for its queue to be refilled, unless its marks say.
    static constexpr std::chrono::milliseconds kRefillPatience{50};
    struct Marks {
        int high;
        int low;
        int refill = 0;
        std::chrono::milliseconds patience = kRefillPatience;
    };

    QueueHandOver() = default;
    ~QueueHandOver();
    QueueHandOver(const QueueHandOver&) = delete;
    QueueHandOver& operator=(const QueueHandOver&) = delete;

    // Paces the stream of decodebin's multiqueue that feeds `decoded` (one of decodebin's pads,
    // through its parser and decoder); false when no multiqueue feeds it (the file needed no
    // demuxer).
    bool AttachDemuxed(GstPad* decoded, Marks marks);
    // Paces a queue element.
    void AttachQueue(GstElement* queue, Marks marks);
    // Stops pacing; a writer waiting goes on.
    void Detach();

  private:
    struct Gate;
    // What a queue holds of one of its streams (named as its statistics name it), by its own
    // count.
    using BufferCount = int (*)(GstElement* queue, const std::string& stream);
    void Pace(GstElement* queue, const std::string& stream, BufferCount count, Marks marks);
    static GstPadProbeReturn OnQueueInput(GstPad* pad, GstPadProbeInfo* info, gpointer gate);
    static GstPadProbeReturn OnQueueOutput(GstPad* pad, GstPadProbeInfo* info, gpointer gate);
    static void DropGate(gpointer holder);
    static Gate& GateOf(gpointer holder);

    std::shared_ptr<Gate> gate;
    GstPad* input = nullptr;  // references of our own
    GstPad* output = nullptr;
    gulong inputProbe = 0;
    gulong outputProbe = 0;
};

}  // namespace tavrisk
