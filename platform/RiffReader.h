// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/RiffChunk.h"
#include "platform/RiffFile.h"

namespace tavrisk {

// Reads the chunks of a RIFF file: descend into the "RIFF" form, find a chunk inside a
// parent from the current position, read its body, ascend past it. Declared sizes are
// never trusted beyond the end of the file.
class RiffReader {
  public:
    bool Open(const std::string& path);
    void Close() { file.Close(); }
    bool IsOpen() const { return file.IsOpen(); }
    uint64_t FileSize() const { return fileSize; }

    // Reads the "RIFF" header at the start of the file; true when its form type matches.
    // The file is then positioned at the first chunk of the form.
    bool DescendRiff(uint32_t formType, RiffChunk& riff);
    // Searches `parent` from the current position for a chunk `id`; when found, the file is
    // positioned at its body.
    bool FindChunk(uint32_t id, const RiffChunk& parent, RiffChunk& chunk);
    // Positions the file at the chunk that follows `chunk`.
    bool Ascend(const RiffChunk& chunk) { return file.Seek(chunk.End()); }
    // A chunk size that stands for "up to the end of the file".
    static constexpr uint32_t kSizeUnknown = 0xFFFFFFFF;

    // Bytes of `chunk`'s body present in the file (less than its size when cut short, all
    // that follows for a chunk of unknown size).
    uint64_t AvailableBytes(const RiffChunk& chunk) const;

    std::size_t Read(void* data, std::size_t count) { return file.Read(data, count); }
    bool Seek(uint64_t position) { return file.Seek(position); }
    uint64_t Tell() const { return file.Tell(); }

  private:
    RiffFile file;
    uint64_t fileSize = 0;
};

}  // namespace tavrisk
