// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace tavrisk {

// Owning handles of libavcodec's decoder objects, freed with libavcodec's own calls.
struct AvContextFree {
    void operator()(AVCodecContext* context) const;
};
struct AvFrameFree {
    void operator()(AVFrame* frame) const;
};
struct AvPacketFree {
    void operator()(AVPacket* packet) const;
};

using AvContextPtr = std::unique_ptr<AVCodecContext, AvContextFree>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFree>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;

}  // namespace tavrisk
