// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

namespace tavrisk {

// "Tavrisk Multichannel Layer II Decoder": parsed MPEG-1/2 Layer II frames in, 16-bit
// samples out: the six channels of a stream whose first frame carries a multichannel
// extension (3/2 with LFE, in GStreamer's positions), else the stereo pair. A damaged frame
// becomes silence of its length and counts as a decoding error of the base class, which
// fails the pipeline only after many in a row.
inline constexpr const char* kMp2DecoderFactoryName = "tavriskmp2dec";
inline constexpr const char* kMp2DecoderLongName = "Tavrisk Multichannel Layer II Decoder";
// Marginal: decodebin keeps GStreamer's own Layer II decoders for stereo streams until this
// one is shown to match them in output and speed.
inline constexpr int kMp2DecoderRank = GST_RANK_MARGINAL;

gboolean RegisterMp2DecoderElement(GstPlugin* plugin);

}  // namespace tavrisk
