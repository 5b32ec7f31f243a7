// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LibavHandles.h"

#include "platform/Libav.h"

namespace tavrisk {

void AvContextFree::operator()(AVCodecContext* context) const {
    Libav().avcodec_free_context(&context);
}

void AvFrameFree::operator()(AVFrame* frame) const {
    Libav().av_frame_free(&frame);
}

void AvPacketFree::operator()(AVPacket* packet) const {
    Libav().av_packet_free(&packet);
}

}  // namespace tavrisk
