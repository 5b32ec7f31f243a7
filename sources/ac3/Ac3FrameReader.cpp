#include "sources/ac3/Ac3FrameReader.h"

#include <cstring>
#include <string_view>

#include "sources/ac3/Ac3Crc.h"

namespace tavrisk::ac3 {
namespace {
constexpr std::string_view kEndOfFile = "EOF";
}

Ac3FrameReader::Result Ac3FrameReader::Next(ReadCallback read) {
    begin += frameBytes;
    frameBytes = 0;
    skipped = 0;
    for (;;) {
        if (Result result = Fill(read, Ac3Header::kBytes); result != Result::kFrame) {
            return Fail(result);
        }
        const auto candidate = ParseAc3Header({buffer.data() + begin, Ac3Header::kBytes});
        if (!candidate) {
            DropByte();
            continue;
        }
        const auto size = static_cast<std::size_t>(candidate->FrameBytes());
        if (Result result = Fill(read, size); result != Result::kFrame) return Fail(result);
        const bool verify = !locked || skipped > 0;
        if (verify && !FrameCrcValid({buffer.data() + begin, size})) {
            DropByte();
            continue;
        }
        locked = true;
        header = *candidate;
        frameBytes = size;
        return Result::kFrame;
    }
}

void Ac3FrameReader::Reset() {
    begin = end = frameBytes = skipped = 0;
    locked = false;
}

Ac3FrameReader::Result Ac3FrameReader::Fill(ReadCallback read, std::size_t count) {
    if (Available() >= count) return Result::kFrame;
    if (begin + count > kCapacity) {
        std::memmove(buffer.data(), buffer.data() + begin, Available());
        end -= begin;
        begin = 0;
    }
    const std::size_t missing = count - Available();
    const char* error = read(buffer.data() + end, static_cast<int>(missing));
    if (error == nullptr) {
        end += missing;
        return Result::kFrame;
    }
    errorText = error;
    return kEndOfFile == error ? Result::kEndOfStream : Result::kReadError;
}

void Ac3FrameReader::DropByte() {
    ++begin;
    ++skipped;
}

Ac3FrameReader::Result Ac3FrameReader::Fail(Result result) {
    Reset();
    return result;
}

}  // namespace tavrisk::ac3
