#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrisk {

// An output file that appears whole or not at all. The bytes go to a hidden temporary file
// beside the target (".<name>.part-XXXXXX", created exclusively, with the permissions of a
// newly created file or those of the file it replaces); Commit renames it onto the target,
// so a reader never sees a half-written file and two writers leave the file of one of them.
// Until then an earlier file of that name is untouched. A temporary that is not committed is
// removed by Discard or by the destructor.
//
// A target that is a symbolic link is followed: the file it leads to is replaced and the
// link stays. A target that exists but is no regular file (a device such as /dev/null, a
// pipe) cannot be replaced by a rename: it is opened and written in place.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { Discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False (with errno set) when the temporary cannot be created, the target is a folder,
    // or an existing target may not be written.
    bool Create(const std::string& target);
    bool IsOpen() const { return descriptor >= 0; }

    // True when all `count` bytes were written. After a failure Size tells what reached
    // the file.
    bool Write(const void* data, std::size_t count);
    bool Seek(uint64_t position);
    uint64_t Tell() const;
    uint64_t Size() const;
    bool Truncate(uint64_t size);

    // Closes the file and puts it in place of the target, also after a failed write (what
    // was written is kept). False when a write, closing or renaming failed; a temporary that
    // could not be renamed is removed. Harmless when closed.
    bool Commit();
    // Closes the file and removes the temporary: the target stays as it was. Harmless when
    // closed.
    void Discard();

    // The file being written: the temporary, or the target written in place.
    const std::string& WorkingPath() const { return workingPath; }

  private:
    bool CreateTemporary(const std::string& folder, const std::string& name);
    bool CloseDescriptor();

    int descriptor = -1;
    bool inPlace = false;
    bool writeFailed = false;
    std::string targetPath;
    std::string workingPath;
};

}  // namespace tavrisk
