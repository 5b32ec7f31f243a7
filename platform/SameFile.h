// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// True when both names lead to one file (the same device and inode), however they are
// spelt: through symbolic or hard links, "./" or ".." detours. False when either is missing.
bool IsSameFile(const std::string& first, const std::string& second);

}  // namespace tavrisk
