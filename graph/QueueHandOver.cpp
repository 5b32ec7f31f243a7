// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/QueueHandOver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>

#include "graph/DemuxQueuePads.h"

namespace tavrisk {
namespace {

constexpr const char* kStatsPrefix = "queue_";
// A waiting writer looks this often whether its pad is being stopped (a deactivated pad says
// so by its flag alone) and recounts what the queue holds.
constexpr auto kRecount = std::chrono::milliseconds(20);

// The buffers a multiqueue holds of one stream ("queue_3"), by its statistics.
int DemuxQueueBuffers(GstElement* queue, const std::string& name) {
    GstStructure* stats = nullptr;
    g_object_get(queue, "stats", &stats, nullptr);
    const GValue* queues = stats ? gst_structure_get_value(stats, "queues") : nullptr;
    guint buffers = 0;
    for (guint i = 0;
         queues && GST_VALUE_HOLDS_ARRAY(queues) && i < gst_value_array_get_size(queues); ++i) {
        const GValue* entry = gst_value_array_get_value(queues, i);
        const GstStructure* single =
            GST_VALUE_HOLDS_STRUCTURE(entry) ? gst_value_get_structure(entry) : nullptr;
        if (single && gst_structure_has_name(single, name.c_str()))
            gst_structure_get_uint(single, "buffers", &buffers);
    }
    if (stats) gst_structure_free(stats);
    return static_cast<int>(buffers);
}

// The flag test of GST_EVENT_IS_SERIALIZED, without its mix of two enumeration types.
bool IsSerialized(GstEvent* event) {
    return (static_cast<unsigned>(GST_EVENT_TYPE(event)) &
            static_cast<unsigned>(GST_EVENT_TYPE_SERIALIZED)) != 0;
}

// The buffers a queue element holds.
int QueueBuffers(GstElement* queue, const std::string&) {
    guint buffers = 0;
    g_object_get(queue, "current-level-buffers", &buffers, nullptr);
    return static_cast<int>(buffers);
}

}  // namespace

// The buffers of one stream between the queue's input and its output, counted on both sides,
// and checked against the queue's own count whenever its reader is slow to drain it.
struct QueueHandOver::Gate {
    Gate(GstElement* owner, std::string name, BufferCount counter, Marks limits)
        : queue(GST_ELEMENT(gst_object_ref(owner))),
          stream(std::move(name)),
          count(counter),
          marks(limits) {
        queued = count(queue, stream);
    }
    ~Gate() { gst_object_unref(queue); }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

    void Wake() {
        std::lock_guard guard(lock);
        drained.notify_all();
    }
    // On the writer's thread, before a buffer enters the queue.
    void Enter(GstPad* input) {
        if (queued.load() >= marks.high && !released.load()) {
            std::unique_lock guard(lock);
            waiting = true;
            while (queued.load() > marks.low && !released.load() && !GST_PAD_IS_FLUSHING(input)) {
                if (drained.wait_for(guard, kRecount) == std::cv_status::timeout)
                    queued = count(queue, stream);
            }
            waiting = false;
        }
        if (++queued >= marks.refill && readerWaiting.load()) Wake();
    }
    // On the writer's thread: a serialized event enters the queue (the end of the stream, say).
    void EnterEvent() {
        ++queuedEvents;
        if (readerWaiting.load()) Wake();
    }
    // On the reader's thread, as a buffer leaves the queue; having emptied it, the reader waits
    // for a refill.
    void Leave(GstPad* output) {
        const int left = --queued;
        if (left <= marks.low && waiting.load()) Wake();
        if (marks.refill <= 0 || left > 0 || queuedEvents.load() > 0 || released.load() ||
            !Playing())
            return;
        const auto giveUp = std::chrono::steady_clock::now() + marks.patience;
        std::unique_lock guard(lock);
        readerWaiting = true;
        while (queued.load() < marks.refill && queuedEvents.load() <= 0 && !released.load() &&
               !GST_PAD_IS_FLUSHING(output)) {
            if (drained.wait_until(guard, giveUp) == std::cv_status::timeout) break;
        }
        readerWaiting = false;
    }
    // On the reader's thread: a serialized event leaves the queue (or one held is sent again).
    void LeaveEvent() {
        int events = queuedEvents.load();
        while (events > 0 && !queuedEvents.compare_exchange_weak(events, events - 1)) {
        }
    }
    // The queue plays. While the pipeline prerolls, upstream may stand still until the sink
    // has its first buffer: a reader holding that buffer back would only wait out its patience.
    bool Playing() const {
        GST_OBJECT_LOCK(queue);
        const bool playing = GST_STATE(queue) == GST_STATE_PLAYING;
        GST_OBJECT_UNLOCK(queue);
        return playing;
    }
    // A flush empties the queue.
    void Restart() {
        queued = 0;
        queuedEvents = 0;
        Wake();
    }
    void Release() {
        released = true;
        Wake();
    }

    GstElement* const queue;
    const std::string stream;
    const BufferCount count;
    const Marks marks;
    std::atomic<int> queued{0};
    std::atomic<bool> waiting{false};
    std::atomic<int> queuedEvents{0};
    std::atomic<bool> readerWaiting{false};
    std::atomic<bool> released{false};
    std::mutex lock;
    std::condition_variable drained;
};

void QueueHandOver::DropGate(gpointer holder) {
    delete static_cast<std::shared_ptr<Gate>*>(holder);
}

QueueHandOver::Gate& QueueHandOver::GateOf(gpointer holder) {
    return **static_cast<std::shared_ptr<Gate>*>(holder);
}

QueueHandOver::~QueueHandOver() {
    Detach();
}

bool QueueHandOver::AttachDemuxed(GstPad* decoded, Marks marks) {
    Detach();
    GstPad* queueOutput = DemuxQueueOutputBehind(decoded);
    if (!queueOutput) return false;
    GstElement* queue = gst_pad_get_parent_element(queueOutput);
    const std::string number = DemuxQueueStreamNumber(queueOutput);
    gst_object_unref(queueOutput);
    if (!queue) return false;
    if (number.empty()) {
        gst_object_unref(queue);
        return false;
    }
    input = DemuxQueueInput(queue, number);
    output = DemuxQueueOutput(queue, number);
    // The multiqueue's own count of buffers would stop the writer first, one at a time.
    g_object_set(queue, "max-size-buffers", 0u, nullptr);
    Pace(queue, kStatsPrefix + number, DemuxQueueBuffers, marks);
    gst_object_unref(queue);
    return gate != nullptr;
}

void QueueHandOver::AttachQueue(GstElement* queue, Marks marks) {
    Detach();
    input = gst_element_get_static_pad(queue, "sink");
    output = gst_element_get_static_pad(queue, "src");
    // Its own limits of buffers and time would stop the writer first, one buffer at a time.
    g_object_set(queue, "max-size-buffers", 0u, "max-size-time", guint64{0}, nullptr);
    Pace(queue, "", QueueBuffers, marks);
}

void QueueHandOver::Pace(GstElement* queue, const std::string& stream, BufferCount count,
                         Marks marks) {
    if (!input || !output) {
        Detach();
        return;
    }
    // Counted from what the queue already holds (data wait in it while the file is prerolled).
    gate = std::make_shared<Gate>(queue, stream, count, marks);
    inputProbe = gst_pad_add_probe(
        input,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                     GST_PAD_PROBE_TYPE_EVENT_FLUSH |
                                     GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnQueueInput, new std::shared_ptr<Gate>(gate), DropGate);
    outputProbe = gst_pad_add_probe(
        output,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                     GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnQueueOutput, new std::shared_ptr<Gate>(gate), DropGate);
}

void QueueHandOver::Detach() {
    if (gate) gate->Release();
    gate.reset();
    if (input && inputProbe) gst_pad_remove_probe(input, inputProbe);
    if (output && outputProbe) gst_pad_remove_probe(output, outputProbe);
    inputProbe = outputProbe = 0;
    for (GstPad** pad : {&input, &output}) {
        if (*pad) gst_object_unref(*pad);
        *pad = nullptr;
    }
}

GstPadProbeReturn QueueHandOver::OnQueueInput(GstPad* pad, GstPadProbeInfo* info, gpointer gate) {
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_BOTH) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP)
            GateOf(gate).Restart();
        else if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_START)
            GateOf(gate).Wake();
        else if (IsSerialized(event))
            GateOf(gate).EnterEvent();
        return GST_PAD_PROBE_OK;
    }
    GateOf(gate).Enter(pad);
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn QueueHandOver::OnQueueOutput(GstPad* pad, GstPadProbeInfo* info, gpointer gate) {
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_BOTH) {
        if (IsSerialized(GST_PAD_PROBE_INFO_EVENT(info))) GateOf(gate).LeaveEvent();
        return GST_PAD_PROBE_OK;
    }
    GateOf(gate).Leave(pad);
    return GST_PAD_PROBE_OK;
}

}  // namespace tavrisk
