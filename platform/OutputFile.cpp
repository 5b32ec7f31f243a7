// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/TemporaryNames.h"

namespace tavrisk {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinks = 40;  // as the kernel follows them
constexpr int kNameTries = 100;
constexpr const char* kTemporaryMark = ".part-";
constexpr const char* kPartialMark = ".partial";
constexpr const char* kOwnDescriptors = "/proc/self/fd/";
constexpr std::size_t kRandomLength = 6;
constexpr const char kRandomCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr mode_t kNewFileMode = 0666;  // less the umask, as for any created file
constexpr mode_t kPermissionBits = 0777;

// The path a chain of symbolic links leads to (the last link's target when it dangles).
std::string FollowLinks(std::string path) {
    std::error_code error;
    for (int i = 0; i < kMaxLinks && fs::is_symlink(path, error); ++i) {
        const fs::path link = fs::read_symlink(path, error);
        if (error) break;
        path = link.is_absolute() ? link.string() : (fs::path(path).parent_path() / link).string();
    }
    return path;
}

// The process id a hidden temporary's name carries (".<name>.part-<pid>-XXXXXX"), or 0.
long OwnerOfTemporary(const std::string& name) {
    if (name.empty() || name.front() != '.') return 0;
    const std::size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string::npos) return 0;
    const char* digits = name.c_str() + mark + std::strlen(kTemporaryMark);
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return 0;
    char* end = nullptr;
    const long pid = std::strtol(digits, &end, 10);
    if (*end != '-' || std::strlen(end + 1) != kRandomLength) return 0;
    return pid;
}

// Puts the file at `from` in the place of `destination`. A rename onto an existing file makes
// ext4 start writing the new file out there and then (it guards a file replaced just before
// a crash), and replacing that file again soon after waits for the writing; exchanging the
// two and removing the earlier one leaves the new file to be written back as any new file
// is. Where the file system cannot exchange, or `destination` is no regular file, a rename.
bool PutInPlace(const std::string& from, const std::string& destination) {
    struct stat status {};
    if (::lstat(destination.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, destination.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlink(from.c_str());  // the earlier file now
        return true;
    }
    return ::rename(from.c_str(), destination.c_str()) == 0;
}

// Removes the hidden temporaries in `folder` left by processes that no longer run (killed
// outright where the file system has no unnamed files).
void RemoveStaleTemporaries(const std::string& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const long pid = OwnerOfTemporary(entry->path().filename().string());
        if (pid <= 0 || pid > INT_MAX) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlink(entry->path().c_str());
    }
}

}  // namespace

std::string OutputFile::PartialName(const std::string& target) {
    const fs::path path(target);
    return (path.parent_path() / (path.stem().string() + kPartialMark + path.extension().string()))
        .string();
}

void OutputFile::RemoveTemporaries() noexcept {
    TemporaryNames::RemoveAll();
}

bool OutputFile::Create(const std::string& target) {
    Discard();
    kept.reset();
    targetPath = FollowLinks(target);
    workingPath.clear();
    writeFailed = false;
    replacing = false;
    struct stat existing {};
    const bool exists = ::stat(targetPath.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        descriptor = ::open(targetPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        inPlace = IsOpen();
        workingPath = targetPath;
        return IsOpen();
    }
    // Replacing a file writes it: one that may not be written is refused, as opening it was.
    if (exists && ::access(targetPath.c_str(), W_OK) != 0) return false;
    const fs::path path(targetPath);
    if (path.filename().empty()) {
        errno = EISDIR;
        return false;
    }
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    RemoveStaleTemporaries(folder);
    const bool created =
        (temporaryKind == Temporary::kUnnamedWherePossible && CreateUnnamed(folder)) ||
        NameTemporary(folder, path.filename().string());
    if (!created) return false;
    replacing = exists;
    if (exists) {
        // The replacement keeps the permissions and, where allowed, the owner of the file it
        // replaces, as writing over that file did; not being allowed is no reason to fail.
        const bool keptOwner = ::fchmod(descriptor, existing.st_mode & kPermissionBits) == 0 &&
                               ::fchown(descriptor, existing.st_uid, existing.st_gid) == 0;
        static_cast<void>(keptOwner);
    }
    return true;
}

bool OutputFile::CreateUnnamed(const std::string& folder) {
    // Putting it in place links it through the process's descriptor folder.
    if (::access(kOwnDescriptors, X_OK) != 0) return false;
    descriptor = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kNewFileMode);
    unnamed = IsOpen();
    return unnamed;
}

bool OutputFile::NameTemporary(const std::string& folder, const std::string& name) {
    const std::string mark = kTemporaryMark + std::to_string(::getpid()) + "-";
    std::string prefix = "." + name;
    if (prefix.size() + mark.size() + kRandomLength > NAME_MAX)
        prefix.resize(NAME_MAX - mark.size() - kRandomLength);
    prefix = (fs::path(folder) / prefix).string() + mark;
    const std::string linkFrom = kOwnDescriptors + std::to_string(descriptor);

    std::random_device seed;
    std::minstd_rand random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kRandomCharacters - 2);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        std::string candidate = prefix;
        for (std::size_t i = 0; i < kRandomLength; ++i)
            candidate += kRandomCharacters[pick(random)];
        // Known to the signal handler before the file has the name.
        const int slot = TemporaryNames::Claim(candidate);
        bool named = false;
        if (unnamed) {
            named = ::linkat(AT_FDCWD, linkFrom.c_str(), AT_FDCWD, candidate.c_str(),
                             AT_SYMLINK_FOLLOW) == 0;
        } else {
            descriptor =
                ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
            named = IsOpen();
        }
        if (named) {
            workingPath = std::move(candidate);
            nameSlot = slot;
            return true;
        }
        const int reason = errno;
        TemporaryNames::Release(slot);
        errno = reason;
        if (reason != EEXIST) return false;
    }
    return false;
}

bool OutputFile::Write(const void* data, std::size_t count) {
    if (!IsOpen()) return false;
    const auto* bytes = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t written = ::write(descriptor, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            writeFailed = true;
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OutputFile::Seek(uint64_t position) {
    return IsOpen() && ::lseek(descriptor, static_cast<off_t>(position), SEEK_SET) >= 0;
}

uint64_t OutputFile::Tell() const {
    const off_t position = IsOpen() ? ::lseek(descriptor, 0, SEEK_CUR) : -1;
    return position < 0 ? 0 : static_cast<uint64_t>(position);
}

uint64_t OutputFile::Size() const {
    struct stat status {};
    if (!IsOpen() || ::fstat(descriptor, &status) != 0 || status.st_size < 0) return 0;
    return static_cast<uint64_t>(status.st_size);
}

bool OutputFile::Truncate(uint64_t size) {
    return IsOpen() && ::ftruncate(descriptor, static_cast<off_t>(size)) == 0;
}

bool OutputFile::CloseDescriptor() {
    const int closing = descriptor;
    descriptor = -1;
    return ::close(closing) == 0;
}

void OutputFile::ForgetName() {
    TemporaryNames::Release(nameSlot);
    nameSlot = TemporaryNames::kNoSlot;
    unnamed = false;
}

bool OutputFile::Commit(OutputEnd end) {
    if (!IsOpen()) return true;
    if (inPlace) {
        inPlace = false;
        kept = KeptOutput{targetPath, targetPath};
        return CloseDescriptor() && !writeFailed;
    }
    // An unnamed file gets a hidden name first: a link cannot replace a file, a rename can.
    const fs::path target(targetPath);
    if (unnamed && !NameTemporary(target.has_parent_path() ? target.parent_path().string() : ".",
                                  target.filename().string())) {
        CloseDescriptor();
        ForgetName();
        return false;
    }
    // What was written is kept, also when a write or the close failed: as a failed output.
    const bool closed = CloseDescriptor();
    if (!closed || writeFailed) end = OutputEnd::kFailed;
    const bool partial = end == OutputEnd::kFailed || (end == OutputEnd::kStopped && replacing);
    const std::string destination = partial ? PartialName(targetPath) : targetPath;
    const bool renamed = PutInPlace(workingPath, destination);
    if (!renamed) ::unlink(workingPath.c_str());
    ForgetName();
    if (!renamed) return false;
    kept = KeptOutput{destination, targetPath, partial, partial && replacing};
    return closed && !writeFailed;
}

void OutputFile::Discard() {
    if (!IsOpen()) return;
    CloseDescriptor();
    if (!inPlace && !unnamed) ::unlink(workingPath.c_str());
    ForgetName();
    inPlace = false;
}

}  // namespace tavrisk
