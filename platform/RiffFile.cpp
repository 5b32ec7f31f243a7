#include "platform/RiffFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tavrisk {

bool RiffFile::Open(const std::string& path, Mode mode) {
    Close();
    file.reset(std::fopen(path.c_str(), mode == Mode::kRead ? "rb" : "wb"));
    return IsOpen();
}

bool RiffFile::Close() {
    if (!file) {
        return true;
    }
    std::FILE* handle = file.release();
    const bool flushed = std::fflush(handle) == 0 && !std::ferror(handle);
    return std::fclose(handle) == 0 && flushed;
}

std::size_t RiffFile::Read(void* data, std::size_t count) {
    return file ? std::fread(data, 1, count, file.get()) : 0;
}

bool RiffFile::Write(const void* data, std::size_t count) {
    return file && std::fwrite(data, 1, count, file.get()) == count;
}

bool RiffFile::Seek(uint64_t position) {
    return file && fseeko(file.get(), static_cast<off_t>(position), SEEK_SET) == 0;
}

uint64_t RiffFile::Tell() const {
    const off_t position = file ? ftello(file.get()) : -1;
    return position < 0 ? 0 : static_cast<uint64_t>(position);
}

uint64_t RiffFile::Size() const {
    struct stat status {};
    if (!file || fstat(fileno(file.get()), &status) != 0 || status.st_size < 0) {
        return 0;
    }
    return static_cast<uint64_t>(status.st_size);
}

bool RiffFile::Truncate(uint64_t size) {
    if (!file) {
        return false;
    }
    std::fflush(file.get());
    return ftruncate(fileno(file.get()), static_cast<off_t>(size)) == 0;
}

}  // namespace tavrisk
