// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/InputProbe.h"

#include <array>
#include <cstdint>

#include "platform/RiffReader.h"

namespace tavrisk {

std::optional<int> ProbeWavRate(const std::string& path) {
    constexpr std::size_t kRateEnd = 8;  // format tag, channels, samples per second
    RiffReader reader;
    RiffChunk riff, format;
    std::array<uint8_t, kRateEnd> record{};
    if (!reader.Open(path) || !reader.DescendRiff(FourCc("WAVE"), riff) ||
        !reader.FindChunk(FourCc("fmt "), riff, format) || format.size < kRateEnd ||
        reader.Read(record.data(), record.size()) != record.size()) {
        return std::nullopt;
    }
    return static_cast<int>(GetLe32(record.data() + 4));
}

}  // namespace tavrisk
