// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

namespace tavrisk::ac3 {

// Checks both CRC words of a whole AC-3 sync frame: crc1 over the first 5/8 of the frame
// after the syncword, crc2 over the rest.
bool FrameCrcValid(std::span<const uint8_t> frame);

}  // namespace tavrisk::ac3
