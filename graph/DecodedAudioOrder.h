// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/audio/audio.h>

#include <cstdint>
#include <vector>

#include "graph/GraphOutcome.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace tavrisk {

// How the planes of a decoded frame become GStreamer's interleaved channels: the positions in
// GStreamer's own order and, for each of them, the plane that carries it.
struct InterleaveOrder {
    std::vector<GstAudioChannelPosition> positions;
    std::vector<int> planeOfChannel;
};

// The order for a decoder's channel layout. A layout with a channel GStreamer cannot name, or
// naming one twice, gives unpositioned channels in the decoder's order. Fails for no channels.
GraphOutcome OrderOfLayout(const AVChannelLayout& layout, InterleaveOrder& order);

// A float sample as the native chain turns it into 16 bits: scaled by 32767 and rounded to
// the nearest (halves away from zero), clipped to -32768..32767; NaN gives 0.
int16_t FloatToS16(float sample);

// `samples` frames of planar float into interleaved 16-bit values in the given order.
void InterleaveToS16(const float* const* planes, const InterleaveOrder& order, int samples,
                     int16_t* out);
// The same for the planes of a decoded frame in libav's `format`: planar float, or planar
// 16-bit (passed unchanged) or 32-bit (as its float value would be). Fails for another format.
GraphOutcome InterleaveFrameToS16(int format, const uint8_t* const* planes,
                                  const InterleaveOrder& order, int samples, int16_t* out);

// The format a decoded frame in libav's `format` is put out in so that nothing of it is lost:
// interleaved 16-bit for planar 16-bit, 32-bit float for everything deeper.
GstAudioFormat OutputFormatOf(int format);
// The planes of a decoded frame into interleaved 32-bit floats, full scale +-1.0 as the
// native chain takes them: planar float as it is; planar 32-bit in 16-bit steps (exact for
// the 24 bits of lossless codecs) times 1/32767, as 16-bit sources are read, so that a
// 16-bit source widened by a lossless codec gives the floats of its 16-bit twin. Fails for
// another format.
GraphOutcome InterleaveFrameToF32(int format, const uint8_t* const* planes,
                                  const InterleaveOrder& order, int samples, float* out);

}  // namespace tavrisk
