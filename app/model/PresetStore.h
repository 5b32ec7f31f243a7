// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrisk {

// The dynamic range presets of the ini file: per name a release time ("RELEASE"), a point
// count ("COUNT") and the points' input then output levels in dB ("PRESET"), each value
// stored as the bytes in upper-case hexadecimal followed by a checksum byte (their sum
// modulo 256). Names are compared without regard to case, as ini keys are.
class PresetStore {
  public:
    static constexpr const char* kReleaseSection = "RELEASE";
    static constexpr const char* kCountSection = "COUNT";
    static constexpr const char* kPointsSection = "PRESET";

    struct Preset {
        // Unset when the stored value cannot be read: the caller keeps its own.
        std::optional<int32_t> releaseMs;
        std::vector<float> inputDb, outputDb;
    };

    explicit PresetStore(std::string iniPath) : iniPath(std::move(iniPath)) {}

    // The message that refuses a name the file could not give back as it was typed; empty
    // for a name that can be stored.
    static std::string NameProblem(const std::string& name);
    // The stored names, in file order.
    std::vector<std::string> List() const;
    // The stored name equal to `name` but for case, if there is one.
    std::optional<std::string> Find(const std::string& name) const;
    // Writes (or replaces) the three values, every other line of the file as it was; false
    // for a name with a NameProblem or when the file cannot be read or written.
    bool Save(const std::string& name, int32_t releaseMs, const std::vector<float>& inputDb,
              const std::vector<float>& outputDb) const;
    // What can be read of a preset: without a readable count or points, no points.
    Preset Load(const std::string& name) const;
    // Removes the three keys; false when the file cannot be written.
    bool Delete(const std::string& name) const;

    static std::string Encode(const std::vector<uint8_t>& bytes);
    // The bytes of a value of exactly `size` bytes with a matching checksum.
    static std::optional<std::vector<uint8_t>> Decode(const std::string& text, std::size_t size);

  private:
    std::string iniPath;
};

}  // namespace tavrisk
