#include "mp2enc/BitStream.h"

namespace tavrisk::mp2 {

namespace {

// Frame ends a buffer holds before the list grows (small frames in a large buffer).
constexpr std::size_t kFrameEndsReserved = 64;

}  // namespace

bool BitStream::Open(const std::string& path, std::size_t bufferSize, std::FILE* messageStream) {
    Discard();
    messages = messageStream;
    if (!file.Create(path)) {
        std::fprintf(messages, "Could not create \"%s\".\n", path.c_str());
        return false;
    }
    buffer.assign(bufferSize == 0 ? 1 : bufferSize, 0);
    bufferedFrameEnds.clear();
    bufferedFrameEnds.reserve(kFrameEndsReserved);
    byteIndex = 0;
    bitIndex = 8;
    totalBits = 0;
    fileBytes = 0;
    lastWrittenFrameEnd = 0;
    failed = false;
    return true;
}

void BitStream::PutBit(unsigned bit) {
    ++totalBits;
    buffer[byteIndex] |= static_cast<std::uint8_t>((bit & 1u) << (bitIndex - 1));
    if (--bitIndex == 0) CompleteByte();
}

void BitStream::PutBits(std::uint32_t value, int width) {
    if (width > kMaxWidth) {
        std::fprintf(messages, "Cannot read or write more than %d bits at a time.\n", kMaxWidth);
        for (int i = kMaxWidth; i < width; ++i) PutBit(0);
        width = kMaxWidth;
    }
    totalBits += static_cast<std::uint32_t>(width);
    int left = width;
    while (left > 0) {
        const int k = left < bitIndex ? left : bitIndex;
        const std::uint32_t chunk =
            static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> (left - k)) &
            ((1u << k) - 1u);
        buffer[byteIndex] |= static_cast<std::uint8_t>(chunk << (bitIndex - k));
        bitIndex -= k;
        left -= k;
        if (bitIndex == 0) CompleteByte();
    }
}

void BitStream::EndFrame() {
    bufferedFrameEnds.push_back(fileBytes + byteIndex);
}

void BitStream::CompleteByte() {
    bitIndex = 8;
    if (++byteIndex == buffer.size()) Flush();
    buffer[byteIndex] = 0;
}

void BitStream::Flush() {
    if (file.IsOpen() && !failed && byteIndex > 0) {
        if (file.Write(buffer.data(), byteIndex)) {
            fileBytes += byteIndex;
            if (!bufferedFrameEnds.empty()) lastWrittenFrameEnd = bufferedFrameEnds.back();
            bufferedFrameEnds.clear();
        } else {
            failed = true;
            CutToWholeFrames();
        }
    }
    byteIndex = 0;
}

void BitStream::CutToWholeFrames() {
    // A short write may have carried some of the buffer's frames whole.
    const std::uint64_t reached = file.Size();
    std::uint64_t end = lastWrittenFrameEnd;
    for (const std::uint64_t frameEnd : bufferedFrameEnds) {
        if (frameEnd <= reached) end = frameEnd;
    }
    bufferedFrameEnds.clear();
    if (file.Truncate(end)) fileBytes = end;
}

bool BitStream::Close(OutputEnd end) {
    if (!file.IsOpen()) return true;
    Flush();
    buffer.clear();
    if (file.Size() == 0) {
        file.Discard();
        return !failed;
    }
    if (!file.Commit(end)) failed = true;
    return !failed;
}

void BitStream::Discard() {
    file.Discard();
    buffer.clear();
}

}  // namespace tavrisk::mp2
