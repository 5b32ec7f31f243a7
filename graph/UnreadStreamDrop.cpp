// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/UnreadStreamDrop.h"

#include <string>

#include "graph/DemuxQueuePads.h"

namespace tavrisk {

UnreadStreamDrop::~UnreadStreamDrop() {
    Detach();
}

void UnreadStreamDrop::Attach(GstElement* decodebin) {
    Detach();
    GstIterator* pads = gst_element_iterate_src_pads(decodebin);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        GstPad* exposed = GST_PAD(g_value_get_object(&item));
        GstPad* output = gst_pad_is_linked(exposed) ? nullptr : DemuxQueueOutputExposed(exposed);
        GstElement* queue = output ? gst_pad_get_parent_element(output) : nullptr;
        const std::string number = output ? DemuxQueueStreamNumber(output) : "";
        GstPad* input = queue && !number.empty() ? DemuxQueueInput(queue, number) : nullptr;
        if (input) {
            const gulong probe =
                gst_pad_add_probe(input,
                                  static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                               GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                                               GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                                  OnUnreadData, nullptr, nullptr);
            dropped.emplace_back(input, probe);
        }
        if (queue) gst_object_unref(queue);
        if (output) gst_object_unref(output);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
}

void UnreadStreamDrop::Detach() {
    for (auto& [input, probe] : dropped) {
        gst_pad_remove_probe(input, probe);
        gst_object_unref(input);
    }
    dropped.clear();
}

// Packets and gaps go; the events that start, describe and end the stream pass.
GstPadProbeReturn UnreadStreamDrop::OnUnreadData(GstPad*, GstPadProbeInfo* info, gpointer) {
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM)
        return GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_GAP ? GST_PAD_PROBE_DROP
                                                                               : GST_PAD_PROBE_OK;
    return GST_PAD_PROBE_DROP;
}

}  // namespace tavrisk
