// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/DemuxQueuePads.h"

#include <cstring>

namespace tavrisk {
namespace {

constexpr const char* kDemuxQueueFactory = "multiqueue";
constexpr const char* kOutputPrefix = "src_";
constexpr const char* kInputPrefix = "sink_";
// Elements between the queue and one of decodebin's pads: a parser, a converter, the decoder.
constexpr int kMostElementsBehind = 8;

bool IsDemuxQueue(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory && std::strcmp(GST_OBJECT_NAME(factory), kDemuxQueueFactory) == 0;
}

}  // namespace

GstPad* DemuxQueueOutputBehind(GstPad* exposed) {
    GstPad* pad = GST_IS_GHOST_PAD(exposed) ? gst_ghost_pad_get_target(GST_GHOST_PAD(exposed))
                                            : GST_PAD(gst_object_ref(exposed));
    for (int step = 0; pad && step < kMostElementsBehind; ++step) {
        GstElement* element = gst_pad_get_parent_element(pad);
        if (!element) break;
        if (IsDemuxQueue(element)) {
            gst_object_unref(element);
            return pad;
        }
        GstPad* input = gst_element_get_static_pad(element, "sink");
        gst_object_unref(element);
        gst_object_unref(pad);
        pad = input ? gst_pad_get_peer(input) : nullptr;
        if (input) gst_object_unref(input);
    }
    if (pad) gst_object_unref(pad);
    return nullptr;
}

GstPad* DemuxQueueOutputExposed(GstPad* exposed) {
    GstPad* target =
        GST_IS_GHOST_PAD(exposed) ? gst_ghost_pad_get_target(GST_GHOST_PAD(exposed)) : nullptr;
    GstElement* element = target ? gst_pad_get_parent_element(target) : nullptr;
    const bool queued = element && IsDemuxQueue(element);
    if (element) gst_object_unref(element);
    if (target && !queued) gst_object_unref(target);
    return queued ? target : nullptr;
}

std::string DemuxQueueStreamNumber(GstPad* output) {
    const std::string name = GST_OBJECT_NAME(output);
    return name.rfind(kOutputPrefix, 0) == 0 ? name.substr(std::strlen(kOutputPrefix)) : "";
}

GstPad* DemuxQueueInput(GstElement* queue, const std::string& number) {
    return gst_element_get_static_pad(queue, (kInputPrefix + number).c_str());
}

GstPad* DemuxQueueOutput(GstElement* queue, const std::string& number) {
    return gst_element_get_static_pad(queue, (kOutputPrefix + number).c_str());
}

}  // namespace tavrisk
