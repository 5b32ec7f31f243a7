// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <string>

namespace tavrisk {

// The media type of a connection as one line of the graph editor: a major type, a subtype
// and a format type name, with channels, rate and sample size for raw and compressed audio:
// "Audio PCM WaveFormatEx 6 ch 48000 hz 16 bits", "Audio DOLBY_AC3 WaveFormatEx 6 ch 48000
// hz 0 bits", "Video YUY2 VideoInfo", "Stream MPEG2_PROGRAM Null". A name that no row fits is
// "Unknown".
std::string MajorTypeName(const GstCaps* caps);
std::string SubtypeName(const GstCaps* caps);
std::string FormatTypeName(const GstCaps* caps);
std::string DescribeCaps(const GstCaps* caps);

}  // namespace tavrisk
