// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/ExtensionFrame.h"

#include "mp2dec/Crc16.h"

namespace tavrisk::mp2dec {

namespace {

bool HasSync(const uint8_t* bytes) {
    return bytes[0] == 0x7F && (bytes[1] & 0xF0) == 0xF0;
}

std::size_t LengthField(const uint8_t* bytes) {
    return static_cast<std::size_t>(((bytes[3] & 0x0F) << 7) | (bytes[4] >> 1));
}

}  // namespace

std::optional<std::size_t> ExtensionFrame::Length(const uint8_t* bytes) {
    if (!HasSync(bytes)) return std::nullopt;
    const std::size_t length = LengthField(bytes);
    if (length < kHeaderBytes) return std::nullopt;
    return length;
}

uint16_t ExtensionFrame::CheckWord(std::size_t length, bool reservedBit) {
    Crc16 crc;
    crc.Feed(static_cast<uint32_t>(length), kLengthBits);
    crc.Feed(reservedBit ? 1 : 0, 1);
    return crc.Value();
}

bool ExtensionFrame::CheckWordMatches(std::span<const uint8_t> frame) {
    if (frame.size() < kHeaderBytes) return false;
    const uint8_t* b = frame.data();
    const auto stored = static_cast<uint16_t>(((b[1] & 0x0F) << 12) | (b[2] << 4) | (b[3] >> 4));
    return LengthField(b) == frame.size() && CheckWord(frame.size(), (b[4] & 1) != 0) == stored;
}

}  // namespace tavrisk::mp2dec
