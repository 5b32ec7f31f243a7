// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RiffWriter.h"

#include <array>

namespace tavrisk {

bool RiffWriter::Create(const std::string& path) {
    position = 0;
    writeFailed = false;
    return file.Open(path, RiffFile::Mode::kCreate);
}

bool RiffWriter::CreateRiff(uint32_t formType, RiffChunk& riff) {
    std::array<uint8_t, 4> form{};
    PutLe32(form.data(), formType);
    riff.formType = formType;
    return WriteHeader(FourCc("RIFF"), riff) && Write(form.data(), form.size());
}

bool RiffWriter::CreateChunk(uint32_t id, RiffChunk& chunk) {
    return WriteHeader(id, chunk);
}

bool RiffWriter::WriteHeader(uint32_t id, RiffChunk& chunk) {
    std::array<uint8_t, RiffChunk::kHeaderSize> header{};
    PutLe32(header.data(), id);
    chunk.id = id;
    chunk.size = 0;
    if (!Write(header.data(), header.size())) {
        return false;
    }
    chunk.dataOffset = position;
    return true;
}

bool RiffWriter::Write(const void* data, std::size_t count) {
    if (position + count > maxFileSize || !file.Write(data, count)) {
        writeFailed = true;
        return false;
    }
    position += count;
    return true;
}

std::size_t RiffWriter::WriteRecords(const void* data, std::size_t size, std::size_t count) {
    if (Write(data, size * count)) return count;
    // A short write may have left part of the records: back to the first one.
    if (!file.Seek(position)) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::size_t written = 0;
    while (written < count && Write(bytes + written * size, size)) ++written;
    return written;
}

bool RiffWriter::Close(OutputEnd end) {
    const bool cut = !writeFailed || !file.IsOpen() || file.Truncate(position);
    return file.Close(end) && cut;
}

bool RiffWriter::Ascend(RiffChunk& chunk) {
    chunk.size = static_cast<uint32_t>(position - chunk.dataOffset);
    if ((chunk.size & 1u) != 0) {
        const uint8_t pad = 0;
        if (!Write(&pad, 1)) {
            return false;
        }
    }
    std::array<uint8_t, 4> size{};
    PutLe32(size.data(), chunk.size);
    return file.Seek(chunk.dataOffset - size.size()) && file.Write(size.data(), size.size()) &&
           file.Seek(position);
}

}  // namespace tavrisk
