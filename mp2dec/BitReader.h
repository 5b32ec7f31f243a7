// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrisk::mp2dec {

// Reads fields most significant bit first from a byte range. Reading past the end yields
// zero bits and marks the reader as overrun, so a damaged frame can be parsed to its end
// safely and judged afterwards.
class BitReader {
  public:
    BitReader(const uint8_t* data, std::size_t bytes) : data(data), limitBits(bytes * 8) {}

    // Reads 0..24 bits.
    uint32_t Read(int bits) {
        if (bits == 0) return 0;
        if (position + bits > limitBits) {
            overrun = true;
            position = limitBits;
            return 0;
        }
        const std::size_t byte = position >> 3;
        uint32_t word = 0;
        if (byte + 4 <= limitBits / 8) [[likely]] {
            word = static_cast<uint32_t>(data[byte]) << 24 |
                   static_cast<uint32_t>(data[byte + 1]) << 16 |
                   static_cast<uint32_t>(data[byte + 2]) << 8 | data[byte + 3];
        } else {
            for (std::size_t i = 0; i < 4; ++i) {
                word <<= 8;
                if (byte + i < limitBits / 8) word |= data[byte + i];
            }
        }
        const uint32_t value = (word << (position & 7)) >> (32 - bits);
        position += bits;
        return value;
    }

    // Moves `bits` on without reading them (at most to the end).
    void Skip(std::size_t bits) { position = bits < BitsLeft() ? position + bits : limitBits; }

    std::size_t Position() const { return position; }
    std::size_t LimitBits() const { return limitBits; }
    std::size_t BitsLeft() const { return limitBits - position; }
    bool Overrun() const { return overrun; }

  private:
    const uint8_t* data;
    std::size_t limitBits;
    std::size_t position = 0;
    bool overrun = false;
};

}  // namespace tavrisk::mp2dec
