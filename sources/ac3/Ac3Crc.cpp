// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3Crc.h"

#include <array>
#include <cstddef>

namespace tavrisk::ac3 {
namespace {

// x^16 + x^15 + x^2 + 1, most significant bit first, no reflection.
constexpr uint16_t kPolynomial = 0x8005;
constexpr std::size_t kSyncBytes = 2;

constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPolynomial : crc << 1);
        }
        table[byte] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

// A table moved on by 8 bits: the remainders of each byte followed by one zero byte more.
constexpr std::array<uint16_t, 256> MoveOnByAByte(const std::array<uint16_t, 256>& table) {
    std::array<uint16_t, 256> moved{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        const uint16_t once = table[byte];
        moved[byte] = static_cast<uint16_t>((once << 8) ^ kTable[once >> 8]);
    }
    return moved;
}

// Each byte followed by one, two and three zero bytes.
constexpr std::array<uint16_t, 256> kPairTable = MoveOnByAByte(kTable);
constexpr std::array<uint16_t, 256> kTripleTable = MoveOnByAByte(kPairTable);
constexpr std::array<uint16_t, 256> kQuadTable = MoveOnByAByte(kTripleTable);

// The remainder of a span whose CRC word is included: 0 when the span is intact. Four bytes
// at a time: the register combines with the first two, and each byte goes through the table
// of the bytes that follow it; then two bytes, then one.
uint16_t Remainder(std::span<const uint8_t> bytes) {
    uint16_t crc = 0;
    std::size_t i = 0;
    for (; i + 3 < bytes.size(); i += 4) {
        const unsigned high = crc ^ (unsigned{bytes[i]} << 8 | bytes[i + 1]);
        crc = static_cast<uint16_t>(kQuadTable[high >> 8] ^ kTripleTable[high & 0xFF] ^
                                    kPairTable[bytes[i + 2]] ^ kTable[bytes[i + 3]]);
    }
    if (i + 1 < bytes.size()) {
        const unsigned word = crc ^ (unsigned{bytes[i]} << 8 | bytes[i + 1]);
        crc = static_cast<uint16_t>(kPairTable[word >> 8] ^ kTable[word & 0xFF]);
        i += 2;
    }
    if (i < bytes.size()) crc = static_cast<uint16_t>((crc << 8) ^ kTable[(crc >> 8) ^ bytes[i]]);
    return crc;
}

}  // namespace

bool FrameCrcValid(std::span<const uint8_t> frame) {
    const std::size_t words = frame.size() / 2;
    const std::size_t fiveEighthsBytes = 2 * ((words >> 1) + (words >> 3));
    if (frame.size() < kSyncBytes || fiveEighthsBytes <= kSyncBytes) return false;
    return Remainder(frame.subspan(kSyncBytes, fiveEighthsBytes - kSyncBytes)) == 0 &&
           Remainder(frame.subspan(fiveEighthsBytes)) == 0;
}

}  // namespace tavrisk::ac3
