// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

namespace tavrisk::mp2 {

// The 16-bit CRC of the Layer II header and side information: polynomial 0x8005,
// initial value 0xFFFF, fields fed most significant bit first. Fields of any width up to 32
// bits gather into whole bytes, which go through the register a byte at a time by table; the
// bits of a last partial byte go one at a time when the value is read.
class Crc16 {
  public:
    static constexpr std::uint16_t kPolynomial = 0x8005;
    static constexpr std::uint16_t kInitial = 0xFFFF;

    // Feeds the lowest `width` bits of `value` (up to 32).
    void Update(std::uint32_t value, int width) {
        if (width <= 0) return;
        pending = (pending << width) | (value & (~std::uint64_t{0} >> (64 - width)));
        pendingBits += width;
        while (pendingBits >= 8) {
            pendingBits -= 8;
            const auto byte = static_cast<std::uint8_t>(pending >> pendingBits);
            reg = static_cast<std::uint16_t>((reg << 8) ^ kByteTable[(reg >> 8) ^ byte]);
        }
    }
    std::uint16_t Value() const {
        std::uint16_t value = reg;
        for (int i = pendingBits - 1; i >= 0; --i) value = FeedBit(value, (pending >> i) & 1u);
        return value;
    }

  private:
    static constexpr std::uint16_t FeedBit(std::uint16_t r, bool fed) {
        const bool out = (r & 0x8000u) != 0;
        r = static_cast<std::uint16_t>(r << 1);
        return fed != out ? static_cast<std::uint16_t>(r ^ kPolynomial) : r;
    }
    // The register after a byte fed into a register whose high byte it equals, from zero.
    static constexpr std::array<std::uint16_t, 256> MakeByteTable() {
        std::array<std::uint16_t, 256> table{};
        for (int b = 0; b < 256; ++b) {
            auto r = static_cast<std::uint16_t>(b << 8);
            for (int i = 0; i < 8; ++i) r = FeedBit(r, false);
            table[b] = r;
        }
        return table;
    }
    static const std::array<std::uint16_t, 256> kByteTable;

    std::uint16_t reg = kInitial;
    std::uint64_t pending = 0;  // the last `pendingBits` bits fed, fewer than 8 between calls
    int pendingBits = 0;
};

inline constexpr std::array<std::uint16_t, 256> Crc16::kByteTable = Crc16::MakeByteTable();

}  // namespace tavrisk::mp2
