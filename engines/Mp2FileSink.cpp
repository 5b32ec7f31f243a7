// SPDX-License-Identifier: GPL-3.0-or-later
#include "engines/Mp2FileSink.h"

namespace tavrisk {

namespace {

// Frame ends a buffer holds before the list grows (small frames in a large buffer).
constexpr std::size_t kFrameEndsReserved = 64;

}  // namespace

bool Mp2FileSink::Open(const std::string& path, std::size_t bufferSize) {
    Discard();
    if (!file.Create(path)) return false;
    bufferLimit = bufferSize == 0 ? 1 : bufferSize;
    buffer.clear();
    buffer.reserve(bufferLimit);
    bufferedFrameEnds.clear();
    bufferedFrameEnds.reserve(kFrameEndsReserved);
    fileBytes = 0;
    failed = false;
    return true;
}

bool Mp2FileSink::Write(std::span<const std::uint8_t> frame) {
    if (failed || !file.IsOpen()) return false;
    buffer.insert(buffer.end(), frame.begin(), frame.end());
    bufferedFrameEnds.push_back(fileBytes + buffer.size());
    if (buffer.size() >= bufferLimit) Flush();
    return !failed;
}

void Mp2FileSink::Flush() {
    if (file.IsOpen() && !failed && !buffer.empty()) {
        if (file.Write(buffer.data(), buffer.size())) {
            fileBytes += buffer.size();
        } else {
            failed = true;
            CutToWholeFrames();
        }
    }
    buffer.clear();
    bufferedFrameEnds.clear();
}

void Mp2FileSink::CutToWholeFrames() {
    // A short write may have carried some of the buffer's frames whole.
    const std::uint64_t reached = file.Size();
    std::uint64_t end = fileBytes;
    for (const std::uint64_t frameEnd : bufferedFrameEnds) {
        if (frameEnd <= reached) end = frameEnd;
    }
    if (file.Truncate(end)) fileBytes = end;
}

bool Mp2FileSink::Close(OutputEnd end) {
    if (!file.IsOpen()) return true;
    Flush();
    if (file.Size() == 0) {
        file.Discard();
        return !failed;
    }
    if (!file.Commit(end)) failed = true;
    return !failed;
}

void Mp2FileSink::Discard() {
    file.Discard();
    buffer.clear();
}

}  // namespace tavrisk
