// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Mp4Index.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace tavrisk {
namespace {

constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kLargeHeaderBytes = 16;
// A box size of 1: the size follows as 64 bits. Of 0: the box runs to the end of the file.
constexpr uint64_t kLargeSize = 1;
constexpr uint64_t kToTheEnd = 0;
// Beyond this many top-level boxes the file is left to the demuxer.
constexpr int kMostBoxes = 4096;

uint64_t BigEndian(const uint8_t* bytes, std::size_t count) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

}  // namespace

bool Mp4WithoutIndex(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return false;
    const auto fileBytes = static_cast<uint64_t>(file.tellg());
    uint64_t at = 0;
    int box = 0;
    for (; box < kMostBoxes && at + kHeaderBytes <= fileBytes; ++box) {
        std::array<uint8_t, kLargeHeaderBytes> header{};
        file.seekg(static_cast<std::streamoff>(at));
        const std::size_t wanted =
            at + kLargeHeaderBytes <= fileBytes ? kLargeHeaderBytes : kHeaderBytes;
        if (!file.read(reinterpret_cast<char*>(header.data()),
                       static_cast<std::streamsize>(wanted)))
            return false;
        const char* type = reinterpret_cast<const char*>(header.data() + 4);
        if (box == 0 && std::memcmp(type, "ftyp", 4) != 0) return false;
        if (std::memcmp(type, "moov", 4) == 0) return false;
        uint64_t size = BigEndian(header.data(), 4);
        std::size_t headerBytes = kHeaderBytes;
        if (size == kLargeSize) {
            if (wanted < kLargeHeaderBytes) return true;
            size = BigEndian(header.data() + kHeaderBytes, 8);
            headerBytes = kLargeHeaderBytes;
        }
        // The last box, or one that runs past the end: no index follows it.
        if (size == kToTheEnd || size > fileBytes - at) return true;
        // A box smaller than its own header is not ours to judge.
        if (size < headerBytes) return false;
        at += size;
    }
    // The boxes ended (perhaps inside a header) without an index.
    return box > 0 && box < kMostBoxes;
}

}  // namespace tavrisk
