#include "sources/InputProbe.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <filesystem>

#include "platform/RiffReader.h"
#include "sources/ac3/Ac3RateProbe.h"

namespace tavrisk {

namespace {

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

}  // namespace

bool IsWavInputName(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find(".WAV") != std::string::npos;
}

std::optional<int> ProbeInputRate(const std::string& path) {
    // Only regular files: opening a pipe would wait for a writer, a device never ends.
    std::error_code status;
    if (!std::filesystem::is_regular_file(path, status)) return std::nullopt;
    if (IsWavInputName(path)) return ProbeWavRate(path);
    return ProbeAc3Rate(path);
}

}  // namespace tavrisk
