// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <string>

namespace tavrisk {

// decodebin's multiqueue, between a demuxer and what decodes or exposes each of its streams:
// the queue's own pads of one stream.

// The multiqueue output pad upstream of `exposed` (one of decodebin's pads, or a pad inside
// it), through elements of one input each (a parser, the decoder): a reference of the
// caller's, or nullptr when no multiqueue feeds it.
GstPad* DemuxQueueOutputBehind(GstPad* exposed);
// The multiqueue output that `exposed` (one of decodebin's pads) shows as it is, a stream
// decodebin left undecoded: a reference of the caller's, or nullptr.
GstPad* DemuxQueueOutputExposed(GstPad* exposed);
// The number the multiqueue gives the stream that leaves by `output` ("3" for "src_3"), or "".
std::string DemuxQueueStreamNumber(GstPad* output);
// The multiqueue's input or output pad of a stream: a reference of the caller's, or nullptr.
GstPad* DemuxQueueInput(GstElement* queue, const std::string& number);
GstPad* DemuxQueueOutput(GstElement* queue, const std::string& number);

}  // namespace tavrisk
