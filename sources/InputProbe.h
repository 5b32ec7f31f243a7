// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace tavrisk {

// The sample rate a WAV file declares in its "fmt " record, or nothing when it cannot be read.
std::optional<int> ProbeWavRate(const std::string& path);

}  // namespace tavrisk
