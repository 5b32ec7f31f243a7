// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

namespace tavrisk {

// "Tavrisk Multichannel Layer II Decoder": parsed MPEG-1/2 Layer II frames in, 16-bit
// samples out: the six channels of a stream whose first frame carries a multichannel
// extension (3/2 with LFE, in GStreamer's positions), else the stereo pair (one channel for
// a single-channel stream). A damaged frame becomes silence of its length and counts as a
// decoding error of the base class, which fails the pipeline only after many in a row.
inline constexpr const char* kMp2DecoderFactoryName = "tavriskmp2dec";
inline constexpr const char* kMp2DecoderLongName = "Tavrisk Multichannel Layer II Decoder";
// Primary, above GStreamer's own Layer II decoders (marginal), so that decodebin and playbin
// take it for Layer II and multichannel streams play with all their channels: on plain
// stereo it is within 1 LSB of avdec_mp2float and mpg123audiodec and takes at most 1.2 times
// their processor time (bench/Mp2DecoderElementBench).
inline constexpr int kMp2DecoderRank = GST_RANK_PRIMARY;

gboolean RegisterMp2DecoderElement(GstPlugin* plugin);

}  // namespace tavrisk
