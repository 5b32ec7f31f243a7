// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3FrameReader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "sources/ac3/Ac3Crc.h"

namespace tavrisk::ac3 {
namespace {
constexpr uint8_t kSyncFirstByte = Ac3Header::kSyncWord >> 8;
}  // namespace

Ac3FrameReader::Result Ac3FrameReader::Next(ReadCallback read) {
    begin += frameBytes;
    frameBytes = 0;
    skipped = 0;
    cutFrame = false;
    for (;;) {
        if (!locked && skipped > kFirstFrameSearchBytes) return Fail(Result::kEndOfStream);
        // In step, a byte first: the input may end inside the next frame's header.
        const bool inStep = locked && skipped == 0;
        if (Result result = Fill(read, inStep ? 1 : Ac3Header::kBytes); result != Result::kFrame) {
            return Fail(result);
        }
        if (Result result = Fill(read, Ac3Header::kBytes); result != Result::kFrame) {
            return EndInsideFrame(result, header, inStep && buffer[begin] == kSyncFirstByte);
        }
        const auto candidate = ParseAc3Header({buffer.data() + begin, Ac3Header::kBytes});
        if (!candidate) {
            DropToNextSyncByte();
            continue;
        }
        const auto size = static_cast<std::size_t>(candidate->FrameBytes());
        if (Result result = Fill(read, size); result != Result::kFrame) {
            // Unchecked, the candidate counts as a cut frame only in step with the stream.
            return EndInsideFrame(result, *candidate, locked && !Changes(*candidate));
        }
        if (NeedsCheck(*candidate) && !FrameCrcValid({buffer.data() + begin, size})) {
            DropByte();
            continue;
        }
        locked = true;
        header = *candidate;
        frameBytes = size;
        return Result::kFrame;
    }
}

bool Ac3FrameReader::NeedsCheck(const Ac3Header& candidate) const {
    return !locked || skipped > 0 || Changes(candidate);
}

bool Ac3FrameReader::Changes(const Ac3Header& candidate) const {
    // At 44.1 kHz the two codes of one bit rate alternate (one word of padding).
    return candidate.sampleRateCode != header.sampleRateCode ||
           candidate.frameSizeCode / 2 != header.frameSizeCode / 2;
}

void Ac3FrameReader::Reset() {
    begin = end = frameBytes = skipped = 0;
    locked = cutFrame = false;
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
    return std::string_view(kEndOfInput) == error ? Result::kEndOfStream : Result::kReadError;
}

void Ac3FrameReader::DropByte() {
    ++begin;
    ++skipped;
}

void Ac3FrameReader::DropToNextSyncByte() {
    const auto from = buffer.begin() + static_cast<std::ptrdiff_t>(begin + 1);
    const auto next = std::find(from, buffer.begin() + static_cast<std::ptrdiff_t>(end),
                                kSyncFirstByte);
    const auto dropped = static_cast<std::size_t>(next - buffer.begin()) - begin;
    begin += dropped;
    skipped += dropped;
}

Ac3FrameReader::Result Ac3FrameReader::EndInsideFrame(Result result, const Ac3Header& cut,
                                                      bool ofTheStream) {
    Fail(result);
    cutFrame = result == Result::kEndOfStream && ofTheStream;
    cutHeader = cut;
    return result;
}

Ac3FrameReader::Result Ac3FrameReader::Fail(Result result) {
    Reset();
    return result;
}

}  // namespace tavrisk::ac3
