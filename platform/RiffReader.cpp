// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RiffReader.h"

#include <algorithm>
#include <array>

namespace tavrisk {

bool RiffReader::Open(const std::string& path) {
    if (!file.Open(path, RiffFile::Mode::kRead)) {
        return false;
    }
    fileSize = file.Size();
    return true;
}

bool RiffReader::DescendRiff(uint32_t formType, RiffChunk& riff) {
    constexpr std::size_t kRiffHeaderSize = RiffChunk::kHeaderSize + 4;
    std::array<uint8_t, kRiffHeaderSize> header{};
    if (!file.Seek(0) || file.Read(header.data(), header.size()) != header.size()) {
        return false;
    }
    riff.id = GetLe32(header.data());
    riff.size = GetLe32(header.data() + 4);
    riff.formType = GetLe32(header.data() + 8);
    riff.dataOffset = RiffChunk::kHeaderSize;
    return riff.id == FourCc("RIFF") && riff.formType == formType;
}

bool RiffReader::FindChunk(uint32_t id, const RiffChunk& parent, RiffChunk& chunk) {
    const uint64_t parentEnd = std::min<uint64_t>(parent.dataOffset + parent.size, fileSize);
    uint64_t position = file.Tell();
    std::array<uint8_t, RiffChunk::kHeaderSize> header{};
    while (position + header.size() <= parentEnd) {
        if (!file.Seek(position) || file.Read(header.data(), header.size()) != header.size()) {
            return false;
        }
        RiffChunk found;
        found.id = GetLe32(header.data());
        found.size = GetLe32(header.data() + 4);
        found.dataOffset = position + header.size();
        if (found.id == id) {
            chunk = found;
            return true;
        }
        position = found.End();
    }
    return false;
}

uint64_t RiffReader::AvailableBytes(const RiffChunk& chunk) const {
    if (chunk.dataOffset >= fileSize) {
        return 0;
    }
    const uint64_t present = fileSize - chunk.dataOffset;
    // Recorders that cannot know the size in advance (or whose files outgrow 32 bits) write
    // the largest size: such a chunk runs to the end of the file.
    if (chunk.size == kSizeUnknown) return present;
    return std::min<uint64_t>(chunk.size, present);
}

}  // namespace tavrisk
