// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "graph/GraphRuntime.h"
#include "graph/QueueHandOver.h"

namespace tavrisk {
namespace {

constexpr std::chrono::milliseconds kPatience{10000};

// A source on its own thread, a queue paced by a QueueHandOver, and a sink noting how full the
// queue is as each buffer reaches it.
struct PacedQueue {
    explicit PacedQueue(int buffers, QueueHandOver::Marks marks) {
        const std::string text = "fakesrc num-buffers=" + std::to_string(buffers) +
                                 " ! queue name=q ! fakesink name=out sync=false signal-handoffs=1";
        pipeline = gst_parse_launch(text.c_str(), nullptr);
        queue = gst_bin_get_by_name(GST_BIN(pipeline), "q");
        GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
        g_signal_connect(sink, "handoff", G_CALLBACK(OnHandoff), this);
        gst_object_unref(sink);
        handOver.AttachQueue(queue, marks);
    }
    ~PacedQueue() {
        handOver.Detach();
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(queue);
        gst_object_unref(pipeline);
    }
    static void OnHandoff(GstElement*, GstBuffer*, GstPad*, gpointer self) {
        auto* paced = static_cast<PacedQueue*>(self);
        guint level = 0;
        g_object_get(paced->queue, "current-level-buffers", &level, nullptr);
        paced->mostQueued = std::max(paced->mostQueued, static_cast<int>(level));
        ++paced->received;
    }

    GstElement* pipeline = nullptr;
    GstElement* queue = nullptr;
    QueueHandOver handOver;
    int received = 0;  // on the queue's thread, read once the stream has ended
    int mostQueued = 0;
};

TEST(QueueHandOverTest, EveryBufferPassesAndTheQueueHoldsNoMoreThanTheHighMark) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    const struct {
        int buffers;
        QueueHandOver::Marks marks;
    } cases[] = {{400, {8, 2}}, {50, {3, 1}}, {30, {1, 0}}, {400, {8, 2, 4}}, {3, {8, 2, 4}}};
    for (const auto& test : cases) {
        PacedQueue paced(test.buffers, test.marks);
        gst_element_set_state(paced.pipeline, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(paced.pipeline);
        GstMessage* end = gst_bus_timed_pop_filtered(
            bus, GST_CLOCK_TIME_NONE,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        ASSERT_EQ(GST_MESSAGE_TYPE(end), GST_MESSAGE_EOS);
        gst_message_unref(end);
        gst_object_unref(bus);
        EXPECT_EQ(paced.received, test.buffers) << test.marks.high;
        EXPECT_LE(paced.mostQueued, test.marks.high) << test.marks.high;
    }
}

// A writer waiting before a queue whose reader is stuck lets the pipeline stop.
TEST(QueueHandOverTest, AWaitingWriterLetsThePipelineStop) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    PacedQueue paced(1000, {4, 1});
    GstPad* output = gst_element_get_static_pad(paced.queue, "src");
    gst_pad_add_probe(
        output, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        nullptr, nullptr, nullptr);
    gst_object_unref(output);
    gst_element_set_state(paced.pipeline, GST_STATE_PLAYING);
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    // The reader holds one buffer at the block; the writer waits with the rest queued.
    for (guint level = 0; level < 3 && std::chrono::steady_clock::now() < giveUp;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        g_object_get(paced.queue, "current-level-buffers", &level, nullptr);
    }
    auto stop = std::async(std::launch::async,
                           [&] { return gst_element_set_state(paced.pipeline, GST_STATE_NULL); });
    ASSERT_EQ(stop.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(stop.get(), GST_STATE_CHANGE_SUCCESS);
}

// While the pipeline prerolls, a reader that has emptied its queue hands its buffer on at once
// rather than waiting for a refill: here upstream holds its next buffer until the sink has
// prerolled, as a demuxer may.
TEST(QueueHandOverTest, TheSinkPrerollsWithoutWaitingForARefill) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    int buffers = 0;  // reaching the queue, counted by the probe below
    PacedQueue paced(2, {8, 2, 4, kPatience});
    GstPad* input = gst_element_get_static_pad(paced.queue, "sink");
    gst_pad_add_probe(
        input, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        [](GstPad*, GstPadProbeInfo*, gpointer count) {
            return (*static_cast<int*>(count))++ == 0 ? GST_PAD_PROBE_PASS : GST_PAD_PROBE_OK;
        },
        &buffers, nullptr);
    gst_object_unref(input);
    gst_element_set_state(paced.pipeline, GST_STATE_PAUSED);
    EXPECT_EQ(gst_element_get_state(paced.pipeline, nullptr, nullptr,
                                    kPatience.count() / 2 * GST_MSECOND),
              GST_STATE_CHANGE_SUCCESS);
}

}  // namespace
}  // namespace tavrisk
