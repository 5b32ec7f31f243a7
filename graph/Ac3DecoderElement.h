#pragma once

#include <gst/gst.h>

namespace tavrisk {

// "Tavrisk AC-3 Decoder": decodes framed AC-3 and E-AC-3 with libavcodec, dynamic range
// compression off, to interleaved 16-bit samples at the stream's rate and channels. Ranked
// above GStreamer's own AC-3 decoders so that decodebin picks it.
inline constexpr const char* kAc3DecoderFactoryName = "tavriskac3dec";
inline constexpr const char* kAc3DecoderLongName = "Tavrisk AC-3 Decoder";
inline constexpr int kAc3DecoderRank = GST_RANK_PRIMARY + 1;
// Read-only: the dynamic range compression scale the decoder applies (always 0).
inline constexpr const char* kAc3DecoderDrcProperty = "drc-scale";

gboolean RegisterAc3DecoderElement(GstPlugin* plugin);

}  // namespace tavrisk
