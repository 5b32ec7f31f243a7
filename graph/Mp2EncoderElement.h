// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

namespace tavrisk {

// "Tavrisk Multichannel Layer II Encoder": six channels (FL FR FC LFE and the two rear or
// side channels, 16-bit) in, the MPEG-2 multichannel Layer II stream (3/2 with LFE behind a
// compatible stereo pair) out as `audio/mpeg, mpegversion=1, layer=2`, one frame per buffer.
// Its properties are the encoder's settings and the threads it encodes on.
inline constexpr const char* kMp2EncoderFactoryName = "tavriskmp2enc";
inline constexpr const char* kMp2EncoderLongName = "Tavrisk Multichannel Layer II Encoder";
inline constexpr const char* kMp2EncoderBitrateProperty = "bitrate";  // kbit/s
inline constexpr const char* kMp2EncoderCrcProperty = "crc";
inline constexpr const char* kMp2EncoderDematrixProperty = "dematrix-procedure";
inline constexpr const char* kMp2EncoderTcAllocationProperty = "tc-allocation";
inline constexpr const char* kMp2EncoderThreadsProperty = "threads";

gboolean RegisterMp2EncoderElement(GstPlugin* plugin);

}  // namespace tavrisk
