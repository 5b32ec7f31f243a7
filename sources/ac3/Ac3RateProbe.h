// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace tavrisk {

// The sample rate of the first AC-3 frame of a raw stream or of an AVI file's audio track,
// searched for as a job would (at most ac3::kFirstFrameSearchBytes); nothing when the file
// cannot be read or holds no frame. Safe while a job runs: it does not use the decoder
// library.
std::optional<int> ProbeAc3Rate(const std::string& path);

}  // namespace tavrisk
