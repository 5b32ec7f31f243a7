#include "mp2enc/BitStream.h"

namespace tavrisk::mp2 {

bool BitStream::open(const std::string& path, std::size_t bufferSize, std::FILE* messageStream) {
    close();
    messages = messageStream;
    std::FILE* created = std::fopen(path.c_str(), "wb+");
    if (created == nullptr) {
        std::fprintf(messages, "Could not create \"%s\".\n", path.c_str());
        return false;
    }
    // The writer buffers by itself; unbuffered stdio makes every write report its error.
    std::setvbuf(created, nullptr, _IONBF, 0);
    fileHandle.reset(created);
    file = created;
    buffer.assign(bufferSize == 0 ? 1 : bufferSize, 0);
    byteIndex = 0;
    bitIndex = 8;
    totalBits = 0;
    failed = false;
    return true;
}

void BitStream::putBit(unsigned bit) {
    ++totalBits;
    buffer[byteIndex] |= static_cast<std::uint8_t>((bit & 1u) << (bitIndex - 1));
    if (--bitIndex == 0) completeByte();
}

void BitStream::putBits(std::uint32_t value, int width) {
    if (width > kMaxWidth) {
        std::fprintf(messages, "Cannot read or write more than %d bits at a time.\n", kMaxWidth);
        for (int i = kMaxWidth; i < width; ++i) putBit(0);
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
        if (bitIndex == 0) completeByte();
    }
}

void BitStream::completeByte() {
    bitIndex = 8;
    if (++byteIndex == buffer.size()) flush();
    buffer[byteIndex] = 0;
}

void BitStream::flush() {
    if (file != nullptr && !failed && byteIndex > 0) {
        if (std::fwrite(buffer.data(), 1, byteIndex, file) != byteIndex) failed = true;
    }
    byteIndex = 0;
}

bool BitStream::close() {
    if (file == nullptr) return true;
    flush();
    if (std::fflush(file) != 0) failed = true;
    std::FILE* closing = fileHandle.release();
    file = nullptr;
    if (std::fclose(closing) != 0) failed = true;
    buffer.clear();
    return !failed;
}

}  // namespace tavrisk::mp2
