// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tavrisk::ac3 {

// The sync information and the start of the bit stream information of one AC-3 sync
// frame: everything needed to find the frame's end and to describe the stream.
struct Ac3Header {
    // Bytes from the syncword up to and including the LFE flag in the worst case.
    static constexpr std::size_t kBytes = 7;
    static constexpr uint16_t kSyncWord = 0x0B77;
    // Highest bit stream id of a stream this decoder can read.
    static constexpr int kMaxBsid = 8;

    int sampleRateCode = 0;  // fscod
    int frameSizeCode = 0;   // frmsizecod
    int bsid = 0;
    int bsmod = 0;
    int acmod = 0;
    int lfeOn = 0;

    // Byte 0 sample-rate code, 1 frame-size code, 2 bitstream mode, 3 audio coding mode,
    // 7 LFE flag: the stream description handed to the decoder library's users.
    using Record = std::array<uint8_t, 8>;
    Record ToRecord() const;

    int FrameBytes() const;
    int SampleRate() const;
};

// Parses the first kBytes of a candidate sync frame; nothing when the syncword is missing or
// a code is out of range (no such frame can be decoded).
std::optional<Ac3Header> ParseAc3Header(std::span<const uint8_t> bytes);

}  // namespace tavrisk::ac3
