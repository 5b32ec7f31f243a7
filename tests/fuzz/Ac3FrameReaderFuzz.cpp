// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the AC-3 sync-frame reader through its read callback: every
// frame it returns must have a valid header, the size that header gives and intact CRCs
// when found by searching (the first one within the search bound), and it must never ask
// for bytes past a frame.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sources/ac3/Ac3Crc.h"
#include "sources/ac3/Ac3FrameReader.h"
#include "sources/ac3/Ac3Header.h"

namespace {

const uint8_t* input = nullptr;
std::size_t inputSize = 0;
std::size_t position = 0;

const char* ReadInput(uint8_t* buffer, int length) {
    if (length <= 0 || static_cast<std::size_t>(length) > tavrisk::ac3::kMaxFrameBytes) {
        __builtin_trap();
    }
    const auto count = static_cast<std::size_t>(length);
    if (inputSize - position < count) {
        position = inputSize;
        return "EOF";
    }
    std::memcpy(buffer, input + position, count);
    position += count;
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    input = data;
    inputSize = size;
    position = 0;
    tavrisk::ac3::Ac3FrameReader reader;
    bool first = true;
    while (reader.Next(&ReadInput) == tavrisk::ac3::Ac3FrameReader::Result::kFrame) {
        const auto frame = reader.Frame();
        const auto header = tavrisk::ac3::ParseAc3Header(frame);
        if (!header || static_cast<std::size_t>(header->FrameBytes()) != frame.size()) {
            __builtin_trap();
        }
        const bool searched = first || reader.SkippedBytes() > 0;
        if (searched && !tavrisk::ac3::FrameCrcValid(frame)) __builtin_trap();
        if (first && reader.SkippedBytes() > tavrisk::ac3::kFirstFrameSearchBytes) {
            __builtin_trap();
        }
        first = false;
    }
    return 0;
}
