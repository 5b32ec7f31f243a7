// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/RiffChunk.h"
#include "platform/RiffFile.h"

namespace tavrisk {

// Writes a RIFF file: create the "RIFF" form and chunks inside it with placeholder sizes,
// write their bodies, ascend out of each, which writes its real size. A RIFF file cannot
// exceed 4 GiB; a write that would go past that fails instead of wrapping the sizes. The
// file takes its name when closed (see RiffFile): a writer discarded or destroyed before
// leaves any earlier file of that name as it was.
class RiffWriter {
  public:
    static constexpr uint64_t kMaxFileSize = 0xFFFFFFFF;

    explicit RiffWriter(uint64_t maxFileSize = kMaxFileSize) : maxFileSize(maxFileSize) {}

    bool Create(const std::string& path);
    bool IsOpen() const { return file.IsOpen(); }
    // False when the data could not all be written. After a failed write the file is cut
    // to what was written whole, so that the chunk sizes describe it. The file takes the
    // name `end` chooses (see OutputFile).
    bool Close(OutputEnd end = OutputEnd::kComplete);
    const std::optional<KeptOutput>& Kept() const { return file.Kept(); }
    // Closes without keeping the file.
    void Discard() { file.Discard(); }

    bool CreateRiff(uint32_t formType, RiffChunk& riff);
    bool CreateChunk(uint32_t id, RiffChunk& chunk);
    bool Write(const void* data, std::size_t count);
    // Writes `count` records of `size` bytes in one call; when that fails, writes again from
    // the first record, one at a time, as many whole ones as fit. Returns how many were
    // written: after a failure the file ends with the last of them.
    std::size_t WriteRecords(const void* data, std::size_t size, std::size_t count);
    // Pads an odd body, writes the chunk's size and positions the file after it.
    bool Ascend(RiffChunk& chunk);

  private:
    bool WriteHeader(uint32_t id, RiffChunk& chunk);

    RiffFile file;
    uint64_t maxFileSize;
    uint64_t position = 0;
    bool writeFailed = false;
};

}  // namespace tavrisk
