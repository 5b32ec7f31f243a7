// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LibavHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tavrisk {

void AvContextFree::operator()(AVCodecContext* context) const {
    avcodec_free_context(&context);
}

void AvFrameFree::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

void AvPacketFree::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

}  // namespace tavrisk
