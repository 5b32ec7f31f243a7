#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tavrisk {

// A binary file handle as the RIFF reader and writer use it (and the raw PCM files): open
// for reading or create for writing, read, write, seek, and a close that tells whether the
// buffered data reached the file. Closed by the destructor.
class RiffFile {
  public:
    enum class Mode { kRead, kCreate };

    bool Open(const std::string& path, Mode mode);
    bool IsOpen() const { return file != nullptr; }
    // False when flushing or closing failed (a full disk, say); harmless when closed.
    bool Close();

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
    std::unique_ptr<std::FILE, Closer> file;
};

}  // namespace tavrisk
