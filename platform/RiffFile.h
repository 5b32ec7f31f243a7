// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/OutputFile.h"

namespace tavrisk {

// A binary file handle as the RIFF reader and writer use it (and the raw PCM files): open
// for reading or create for writing, read, write, seek, and a close that tells whether the
// data reached the file. A created file is written unbuffered, so that a failed write says
// exactly what reached the file, and appears under its name only when closed (see
// OutputFile); destroyed without Close, or discarded, it leaves any earlier file of that
// name untouched.
class RiffFile {
  public:
    enum class Mode { kRead, kCreate };

    bool Open(const std::string& path, Mode mode);
    bool IsOpen() const { return reader != nullptr || output.IsOpen(); }
    // False when closing failed (a full disk, say), or a created file could not be put in
    // place; harmless when closed. A created file takes the name `end` chooses (OutputFile).
    bool Close(OutputEnd end = OutputEnd::kComplete);
    // Where the last Close put a created file (see OutputFile::Kept).
    const std::optional<KeptOutput>& Kept() const { return output.Kept(); }
    // Closes a created file without putting it in place.
    void Discard();

    // Bytes actually read (0 at the end or on an error).
    std::size_t Read(void* data, std::size_t count);
    // True when all `count` bytes were written.
    bool Write(const void* data, std::size_t count);
    bool Seek(uint64_t position);
    uint64_t Tell() const;
    // Length of the file in bytes.
    uint64_t Size() const;
    // Cuts the file to `size` bytes, dropping what a failed write left after it.
    bool Truncate(uint64_t size);

  private:
    struct Closer {
        void operator()(std::FILE* handle) const { std::fclose(handle); }
    };
    std::unique_ptr<std::FILE, Closer> reader;
    OutputFile output;
};

}  // namespace tavrisk
