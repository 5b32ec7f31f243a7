// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tavrisk {

// How the job writing an output ended; it decides the name the output is kept under.
enum class OutputEnd {
    kComplete,  // the target's name
    kStopped,   // the target's name, unless a file held it when the output was created:
                // then beside it as "<name>.partial<ext>", the earlier file untouched
    kFailed,    // "<name>.partial<ext>" always: a failed output never takes the target's name
};

// Where a committed output was put.
struct KeptOutput {
    std::string path;          // the file now on disk
    std::string target;        // the name it was written for
    bool partial = false;      // kept as "<name>.partial<ext>" beside the target
    bool earlierKept = false;  // a file held the target before and stays as it was
};

// An output file that appears whole or not at all. The bytes go to a temporary file in the
// target's folder: an unnamed one (O_TMPFILE) where the file system has them, so that even a
// process killed outright leaves nothing behind; else a hidden ".<name>.part-<pid>-XXXXXX",
// which the next output created in that folder removes once its process is gone. The
// temporary has the permissions of a newly created file or those of the file it replaces.
// Commit puts it in place by a rename (over an earlier file, an exchange with it, which is
// then removed), so a reader never sees a half-written file and two writers leave the file of
// one of them. Until then an earlier file of that name is untouched. A temporary that is not
// committed is removed by Discard or by the destructor.
//
// A target that is a symbolic link is followed: the file it leads to is replaced and the
// link stays. A target that exists but is no regular file (a device such as /dev/null, a
// pipe) cannot be replaced by a rename: it is opened and written in place.
class OutputFile {
  public:
    enum class Temporary { kUnnamedWherePossible, kNamed };

    explicit OutputFile(Temporary temporary = Temporary::kUnnamedWherePossible)
        : temporaryKind(temporary) {}
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

    // Closes the file and puts it in place, under the name `end` chooses (see OutputEnd);
    // after a failed write or close, what was written is kept as a failed output. False when
    // a write, closing or placing failed; a temporary that could not be placed is removed.
    // Harmless when closed.
    bool Commit(OutputEnd end = OutputEnd::kComplete);
    // Closes the file and removes the temporary: the target stays as it was. Harmless when
    // closed.
    void Discard();
    // Where the last Commit since Create put the file; empty when none did.
    const std::optional<KeptOutput>& Kept() const { return kept; }

    // The file being written: the target written in place, the named temporary, or empty
    // for an unnamed temporary.
    const std::string& WorkingPath() const { return workingPath; }

    // "<folder>/<stem>.partial<ext>" of a target: "film.mp2" gives "film.partial.mp2".
    static std::string PartialName(const std::string& target);
    // For a signal handler: removes the named temporaries of this process at once.
    // Async-signal-safe.
    static void RemoveTemporaries() noexcept;

  private:
    bool CreateUnnamed(const std::string& folder);
    // Creates (or, for an unnamed temporary, links) a hidden name beside the target; the
    // name is claimed for the signal handler before the file has it.
    bool NameTemporary(const std::string& folder, const std::string& name);
    bool CloseDescriptor();
    void ForgetName();

    Temporary temporaryKind;
    int descriptor = -1;
    bool inPlace = false;
    bool unnamed = false;
    bool writeFailed = false;
    bool replacing = false;
    int nameSlot = -1;
    std::string targetPath;
    std::string workingPath;
    std::optional<KeptOutput> kept;
};

}  // namespace tavrisk
