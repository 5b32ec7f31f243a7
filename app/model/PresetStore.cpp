// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/PresetStore.h"

#include <cctype>
#include <cstring>

#include "platform/IniFile.h"

namespace tavrisk {

namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";
constexpr std::size_t kIntBytes = 4;
constexpr std::size_t kFloatBytes = 4;
// More points than any curve editor holds: a larger count is damage, not a preset.
constexpr int32_t kMaxPoints = 4096;
const char* const kSections[] = {PresetStore::kReleaseSection, PresetStore::kCountSection,
                                 PresetStore::kPointsSection};

// Little-endian bytes of 32-bit values.
void AppendLe(std::vector<uint8_t>& bytes, uint32_t value) {
    for (std::size_t i = 0; i < kIntBytes; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t ReadLe(const std::vector<uint8_t>& bytes, std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < kIntBytes; ++i)
        value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

uint32_t FloatBits(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float BitsFloat(uint32_t bits) {
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int HexValue(char c) {
    const char* at = std::strchr(kHexDigits, std::toupper(static_cast<unsigned char>(c)));
    return c != '\0' && at ? static_cast<int>(at - kHexDigits) : -1;
}

std::optional<IniFile> LoadFile(const std::string& path) {
    IniFile file(path);
    if (path.empty() || !file.Load()) return std::nullopt;
    return file;
}

}  // namespace

std::string PresetStore::Encode(const std::vector<uint8_t>& bytes) {
    std::string text;
    unsigned sum = 0;
    auto put = [&text](uint8_t byte) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0F];
    };
    for (uint8_t byte : bytes) {
        put(byte);
        sum += byte;
    }
    put(static_cast<uint8_t>(sum & 0xFF));
    return text;
}

std::optional<std::vector<uint8_t>> PresetStore::Decode(const std::string& text, std::size_t size) {
    if (text.size() != 2 * (size + 1)) return std::nullopt;
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    const uint8_t checksum = bytes.back();
    bytes.pop_back();
    unsigned sum = 0;
    for (uint8_t byte : bytes) sum += byte;
    if ((sum & 0xFF) != checksum) return std::nullopt;
    return bytes;
}

std::string PresetStore::NameProblem(const std::string& name) {
    const std::string problem = IniFile::KeyProblem(name);
    if (problem.empty()) return "";
    return "The preset name \"" + name + "\" " + problem +
           ": the presets file could not give it back. Choose another name.";
}

std::vector<std::string> PresetStore::List() const {
    const auto file = LoadFile(iniPath);
    return file ? file->Keys(kCountSection) : std::vector<std::string>{};
}

std::optional<std::string> PresetStore::Find(const std::string& name) const {
    for (const std::string& key : List())
        if (IniFile::SameName(key, name)) return key;
    return std::nullopt;
}

bool PresetStore::Save(const std::string& name, int32_t releaseMs,
                       const std::vector<float>& inputDb,
                       const std::vector<float>& outputDb) const {
    if (!NameProblem(name).empty() || inputDb.size() != outputDb.size()) return false;
    auto file = LoadFile(iniPath);
    if (!file) return false;
    std::vector<uint8_t> release, count, points;
    AppendLe(release, static_cast<uint32_t>(releaseMs));
    AppendLe(count, static_cast<uint32_t>(inputDb.size()));
    for (float db : inputDb) AppendLe(points, FloatBits(db));
    for (float db : outputDb) AppendLe(points, FloatBits(db));
    // An existing key keeps its spelling and takes the new value.
    file->Set(kReleaseSection, name, Encode(release));
    file->Set(kCountSection, name, Encode(count));
    file->Set(kPointsSection, name, Encode(points));
    return file->Save();
}

PresetStore::Preset PresetStore::Load(const std::string& name) const {
    Preset preset;
    const auto file = LoadFile(iniPath);
    if (!file) return preset;
    if (auto bytes = Decode(file->Get(kReleaseSection, name), kIntBytes))
        preset.releaseMs = static_cast<int32_t>(ReadLe(*bytes, 0));
    const auto countBytes = Decode(file->Get(kCountSection, name), kIntBytes);
    if (!countBytes) return preset;
    const auto count = static_cast<int32_t>(ReadLe(*countBytes, 0));
    if (count <= 0 || count > kMaxPoints) return preset;
    const std::size_t n = static_cast<std::size_t>(count);
    const auto points = Decode(file->Get(kPointsSection, name), 2 * n * kFloatBytes);
    if (!points) return preset;
    for (std::size_t i = 0; i < n; ++i) {
        preset.inputDb.push_back(BitsFloat(ReadLe(*points, i * kFloatBytes)));
        preset.outputDb.push_back(BitsFloat(ReadLe(*points, (n + i) * kFloatBytes)));
    }
    return preset;
}

bool PresetStore::Delete(const std::string& name) const {
    auto file = LoadFile(iniPath);
    if (!file || !Find(name)) return false;
    for (const char* section : kSections) file->Remove(section, name);
    return file->Save();
}

}  // namespace tavrisk
