// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrisk::mp2dec {

// The 16-bit frame check of the stream: polynomial 0x8005, register starting at 0xFFFF,
// bits fed most significant first.
class Crc16 {
  public:
    void FeedBit(bool bit) {
        const bool top = (value & 0x8000) != 0;
        value = static_cast<uint16_t>(value << 1);
        if (top != bit) value ^= kPolynomial;
    }
    void Feed(uint32_t field, int bits) {
        for (int i = bits - 1; i >= 0; --i) FeedBit(((field >> i) & 1) != 0);
    }
    // Feeds the bits [fromBit, toBit) of a byte range.
    void FeedRange(const uint8_t* data, std::size_t fromBit, std::size_t toBit) {
        for (std::size_t bit = fromBit; bit < toBit; ++bit)
            FeedBit(((data[bit >> 3] >> (7 - (bit & 7))) & 1) != 0);
    }
    uint16_t Value() const { return value; }

  private:
    static constexpr uint16_t kPolynomial = 0x8005;
    uint16_t value = 0xFFFF;
};

}  // namespace tavrisk::mp2dec
