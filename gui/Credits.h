// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// The credits of what the program runs on, with the versions found at run time, one per line
// ended by "\r\n": FFmpeg's libavcodec and libavformat, GStreamer, Qt, libsoxr, and the
// program's own Layer II encoder with the reference software it derives from.
std::string RunTimeCredits();

}  // namespace tavrisk
