// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

namespace tavrisk {

// "Tavrisk Film Sound Decoder": decodes framed AC-3, E-AC-3, DTS and FLAC with libavcodec, dynamic
// range compression off and every error check on, to interleaved samples at the stream's rate
// and channels: 16-bit for a 16-bit stream, 32-bit float for the others (the float codecs, FLAC
// of more than 16 bits), so that nothing is cut before the channel processing. Ranked above
// GStreamer's own decoders of these codecs so that decodebin picks it. A damaged frame becomes
// silence of its length, and a warning is posted for it whose details (kDamageDetails) carry its
// stream time in nanoseconds and the count of frames it stands for. Decoded frames that follow
// on from each other are handed on together, up to OutputBatch::kSamples samples a buffer.
inline constexpr const char* kAc3DecoderFactoryName = "tavriskac3dec";
inline constexpr const char* kAc3DecoderLongName = "Tavrisk Film Sound Decoder";
inline constexpr const char* kDamageDetails = "tavrisk-damage";
inline constexpr const char* kDamageTimestampField = "timestamp";  // guint64, ns
inline constexpr const char* kDamageFramesField = "frames";        // guint
inline constexpr int kAc3DecoderRank = GST_RANK_PRIMARY + 1;
// Read-only: the dynamic range compression scale the decoder applies (always 0).
inline constexpr const char* kAc3DecoderDrcProperty = "drc-scale";

gboolean RegisterAc3DecoderElement(GstPlugin* plugin);

}  // namespace tavrisk
