// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// Whether `path` is an MP4 (an ISO media file: its first box a file type box) whose top-level
// boxes end without a movie box, the index every track is read through: a file cut before its
// index, which no demuxer can play. False for anything else, a readable MP4 included.
bool Mp4WithoutIndex(const std::string& path);

}  // namespace tavrisk
