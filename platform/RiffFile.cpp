// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RiffFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tavrisk {

bool RiffFile::Open(const std::string& path, Mode mode) {
    Close();
    if (mode == Mode::kCreate) return output.Create(path);
    reader.reset(std::fopen(path.c_str(), "rb"));
    return IsOpen();
}

bool RiffFile::Close(OutputEnd end) {
    if (output.IsOpen()) return output.Commit(end);
    if (!reader) return true;
    return std::fclose(reader.release()) == 0;
}

void RiffFile::Discard() {
    output.Discard();
    reader.reset();
}

std::size_t RiffFile::Read(void* data, std::size_t count) {
    return reader ? std::fread(data, 1, count, reader.get()) : 0;
}

bool RiffFile::Write(const void* data, std::size_t count) {
    return output.Write(data, count);
}

bool RiffFile::Seek(uint64_t position) {
    if (output.IsOpen()) return output.Seek(position);
    return reader && fseeko(reader.get(), static_cast<off_t>(position), SEEK_SET) == 0;
}

uint64_t RiffFile::Tell() const {
    if (output.IsOpen()) return output.Tell();
    const off_t position = reader ? ftello(reader.get()) : -1;
    return position < 0 ? 0 : static_cast<uint64_t>(position);
}

uint64_t RiffFile::Size() const {
    if (output.IsOpen()) return output.Size();
    struct stat status {};
    if (!reader || fstat(fileno(reader.get()), &status) != 0 || status.st_size < 0) {
        return 0;
    }
    return static_cast<uint64_t>(status.st_size);
}

bool RiffFile::Truncate(uint64_t size) {
    return output.Truncate(size);
}

}  // namespace tavrisk
