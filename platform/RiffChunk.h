// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrisk {

// Four-character code as stored in a RIFF file ("RIFF", "WAVE", "fmt "...), read as a
// little-endian 32-bit value.
constexpr uint32_t FourCc(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

// One chunk of a RIFF file: its id, its declared size and where its body starts. For a
// "RIFF" or "LIST" chunk the body starts with the form type.
struct RiffChunk {
    static constexpr uint32_t kHeaderSize = 8;

    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t formType = 0;
    uint64_t dataOffset = 0;

    // Where the next chunk starts: bodies of odd size are followed by one pad byte.
    uint64_t End() const { return dataOffset + size + (size & 1u); }
};

inline uint16_t GetLe16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t GetLe32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void PutLe16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void PutLe32(uint8_t* bytes, uint32_t value) {
    PutLe16(bytes, static_cast<uint16_t>(value));
    PutLe16(bytes + 2, static_cast<uint16_t>(value >> 16));
}

}  // namespace tavrisk
