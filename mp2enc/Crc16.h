// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrisk::mp2 {

// The 16-bit CRC of the Layer II header and side information: polynomial 0x8005,
// initial value 0xFFFF, fields fed most significant bit first.
class Crc16 {
  public:
    static constexpr std::uint16_t kPolynomial = 0x8005;
    static constexpr std::uint16_t kInitial = 0xFFFF;

    void Update(std::uint32_t value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            const bool fed = (value >> i) & 1u;
            const bool out = (reg & 0x8000u) != 0;
            reg = static_cast<std::uint16_t>(reg << 1);
            if (fed != out) reg ^= kPolynomial;
        }
    }
    std::uint16_t Value() const { return reg; }

  private:
    std::uint16_t reg = kInitial;
};

}  // namespace tavrisk::mp2
