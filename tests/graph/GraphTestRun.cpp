// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/graph/GraphTestRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "graph/DecodedAudioOrder.h"
#include "graph/GraphRuntime.h"
#include "tests/graph/GraphFileTest.h"

namespace tavrisk::test {

void CollectingReceiver::FormatChanged(const StreamFormat& newFormat) {
    std::lock_guard guard(lock);
    format = newFormat;
    ++formatCalls;
}

void CollectingReceiver::DeliverSamples(const int16_t* values, std::size_t valueCount,
                                        const SampleTiming&) {
    std::lock_guard guard(lock);
    count += valueCount;
    ++deliveries;
    if (keepSamples) samples.insert(samples.end(), values, values + valueCount);
}

void CollectingReceiver::DeliverFloatSamples(const float* values, std::size_t valueCount,
                                             const SampleTiming&) {
    std::lock_guard guard(lock);
    count += valueCount;
    ++deliveries;
    if (!keepSamples) return;
    floatSamples.insert(floatSamples.end(), values, values + valueCount);
    std::transform(values, values + valueCount, std::back_inserter(samples), FloatToS16);
}

void CollectingReceiver::KeepSamples(bool keep) {
    std::lock_guard guard(lock);
    keepSamples = keep;
}

void CollectingReceiver::ResetCount() {
    std::lock_guard guard(lock);
    count = 0;
}

StreamFormat CollectingReceiver::Format() const {
    std::lock_guard guard(lock);
    return format;
}

int CollectingReceiver::FormatCalls() const {
    std::lock_guard guard(lock);
    return formatCalls;
}

std::size_t CollectingReceiver::Count() const {
    std::lock_guard guard(lock);
    return count;
}

int CollectingReceiver::Deliveries() const {
    std::lock_guard guard(lock);
    return deliveries;
}

std::vector<int16_t> CollectingReceiver::Samples() const {
    std::lock_guard guard(lock);
    return samples;
}

std::vector<float> CollectingReceiver::FloatSamples() const {
    std::lock_guard guard(lock);
    return floatSamples;
}

GraphRun::GraphRun() {
    EXPECT_EQ(InitGraphRuntime().Reason(), "");
    EXPECT_TRUE(graph.CreateGraph([this] {
        std::lock_guard guard(lock);
        messagesWaiting = true;
        woken.notify_all();
    }));
}

GraphRun::~GraphRun() {
    if (wrapper) SetWrapperReceiver(wrapper, nullptr);
    graph.ReleaseGraph();
    if (wrapper) gst_object_unref(wrapper);
}

GraphOutcome GraphRun::Render(const std::string& path) {
    return graph.RenderFile(path);
}

std::vector<GstElement*> GraphRun::Rows() const {
    std::vector<GstElement*> rows = graph.Filters();
    std::reverse(rows.begin(), rows.end());
    return rows;
}

namespace {

GstPad* FirstPad(GstElement* element, GstPadDirection direction) {
    GstPad* found = nullptr;
    for (GList* item = element->pads; item && !found; item = item->next) {
        GstPad* pad = GST_PAD(item->data);
        if (GST_PAD_DIRECTION(pad) == direction) found = GST_PAD(gst_object_ref(pad));
    }
    return found;
}

}  // namespace

bool GraphRun::ReplaceRenderer(SampleReceiver& receiver) {
    const std::vector<GstElement*> rows = Rows();
    if (rows.size() < 2) return false;
    GstElement* renderer = rows.back();
    GstElement* feeding = rows[rows.size() - 2];
    if (!graph.RemoveGraphFilter(renderer)) return false;

    wrapper = gst_element_factory_make(kWrapperFactoryName, nullptr);
    if (!wrapper) return false;
    gst_object_ref_sink(wrapper);
    SetWrapperReceiver(wrapper, &receiver);
    if (!SetWrapperLocation(wrapper, "output.pcm") || !graph.AddGraphFilter(wrapper)) return false;

    GstPad* output = FirstPad(feeding, GST_PAD_SRC);
    GstPad* input = FirstPad(wrapper, GST_PAD_SINK);
    const bool connected = graph.ConnectPins(output, input).Ok();
    if (output) gst_object_unref(output);
    if (input) gst_object_unref(input);
    return connected;
}

GraphRun::Outcome GraphRun::RunToEnd(std::chrono::seconds limit) {
    lastError.reset();
    if (!graph.RunGraph()) return Outcome::kFailed;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::unique_lock guard(lock);
            woken.wait_for(guard, std::chrono::milliseconds(100),
                           [this] { return messagesWaiting; });
            messagesWaiting = false;
        }
        graph.DrainEvents();
        if (graph.IsStopped()) {
            lastError = graph.TakeError();
            return lastError ? Outcome::kFailed : Outcome::kEnded;
        }
    }
    return Outcome::kTimedOut;
}

std::string FactoryOf(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory ? GST_OBJECT_NAME(factory) : "";
}

std::vector<GstElement*> ElementsOfKlass(GstElement* pipeline, const char* first,
                                         const char* second) {
    std::vector<GstElement*> found;
    GstIterator* iterator = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(iterator, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        const char* klass = gst_element_get_metadata(element, GST_ELEMENT_METADATA_KLASS);
        if (klass && std::strstr(klass, first) && std::strstr(klass, second)) {
            found.push_back(element);
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(iterator);
    return found;
}

}  // namespace tavrisk::test
