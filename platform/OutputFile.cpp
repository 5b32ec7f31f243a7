#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <random>
#include <system_error>

namespace tavrisk {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinks = 40;  // as the kernel follows them
constexpr int kNameTries = 100;
constexpr const char* kTemporaryMark = ".part-";
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

}  // namespace

bool OutputFile::Create(const std::string& target) {
    Discard();
    targetPath = FollowLinks(target);
    workingPath.clear();
    writeFailed = false;
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
    if (!CreateTemporary(folder, path.filename().string())) return false;
    if (exists) {
        // The replacement keeps the permissions and, where allowed, the owner of the file it
        // replaces, as writing over that file did; not being allowed is no reason to fail.
        const bool kept = ::fchmod(descriptor, existing.st_mode & kPermissionBits) == 0 &&
                          ::fchown(descriptor, existing.st_uid, existing.st_gid) == 0;
        static_cast<void>(kept);
    }
    return true;
}

bool OutputFile::CreateTemporary(const std::string& folder, const std::string& name) {
    std::string prefix = "." + name;
    const std::size_t suffixLength = std::char_traits<char>::length(kTemporaryMark) + kRandomLength;
    if (prefix.size() + suffixLength > NAME_MAX) prefix.resize(NAME_MAX - suffixLength);
    prefix = (fs::path(folder) / prefix).string() + kTemporaryMark;

    std::random_device seed;
    std::minstd_rand random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kRandomCharacters - 2);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        std::string candidate = prefix;
        for (std::size_t i = 0; i < kRandomLength; ++i)
            candidate += kRandomCharacters[pick(random)];
        descriptor =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (IsOpen()) {
            workingPath = std::move(candidate);
            return true;
        }
        if (errno != EEXIST) return false;
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

bool OutputFile::Commit() {
    if (!IsOpen()) return true;
    // What was written is kept, also when a write or the close failed; the failure is told.
    const bool closed = CloseDescriptor() && !writeFailed;
    if (inPlace) {
        inPlace = false;
        return closed;
    }
    if (::rename(workingPath.c_str(), targetPath.c_str()) != 0) {
        ::unlink(workingPath.c_str());
        return false;
    }
    return closed;
}

void OutputFile::Discard() {
    if (!IsOpen()) return;
    CloseDescriptor();
    if (!inPlace) ::unlink(workingPath.c_str());
    inPlace = false;
}

}  // namespace tavrisk
