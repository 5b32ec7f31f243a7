// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tavrisk::mp2dec {

// A frame of the extension bit stream: when a stream's total bitrate is above what its base
// frame carries, the multichannel data that does not fit continues in an extension frame
// that follows the base frame. Its 40-bit header holds the sync word 0x7FF, a check word,
// the frame's length in bytes (header included) and a reserved bit; the data follows.
struct ExtensionFrame {
    static constexpr std::size_t kHeaderBytes = 5;
    static constexpr int kLengthBits = 11;

    // The length a header at `bytes` (kHeaderBytes readable) gives, or nullopt when they hold
    // no extension header.
    static std::optional<std::size_t> Length(const uint8_t* bytes);
    // The check word covers the length and the reserved bit.
    static uint16_t CheckWord(std::size_t length, bool reservedBit);
    static bool CheckWordMatches(std::span<const uint8_t> frame);
};

}  // namespace tavrisk::mp2dec
