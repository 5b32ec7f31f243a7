// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/FakeJobHost.h"

namespace tavrisk::test {

// A WAV file built byte by byte, to make every kind of header.
struct WavLayout {
    uint16_t formatTag = 1;
    uint16_t channels = 6;
    uint32_t rate = 48000;
    uint16_t bits = 16;
    uint32_t fmtSize = 16;     // 16, 18 or 40 (extensible)
    uint32_t channelMask = 0;  // written in a 40-byte record
    std::vector<int16_t> samples;
    std::optional<uint32_t> declaredDataSize;
    std::vector<uint8_t> trailingChunk;  // a "LIST" chunk body after "data"
    bool withFmt = true;
    bool withData = true;
};
std::vector<uint8_t> BuildWav(const WavLayout& layout);

// `frames` frames whose channel k holds value(frame, k).
std::vector<int16_t> MakeFrames(std::size_t frames, int channels,
                                const std::function<int16_t(std::size_t, int)>& value);

}  // namespace tavrisk::test
