// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/graph/GraphInputs.h"

#include "tests/support/TestSupport.h"

namespace tavrisk::test {

std::string MakeToneWav(const std::string& folder) {
    const std::string path = folder + "/tones.wav";
    ToneSet tones;
    tones.frequencies.assign(kWavTones.begin(), kWavTones.end());
    tones.amplitude = 12000.0;
    WritePlainWav(path, MakeTones(tones, kInputRate, kInputRate * kInputSeconds));
    return path;
}

bool DamageMiddle(const std::string& from, const std::string& to) {
    std::vector<uint8_t> bytes = ReadBytes(from);
    if (bytes.size() < 16) return false;
    uint32_t noise = 0x12345678u;
    for (std::size_t i = bytes.size() * 2 / 5; i < bytes.size() * 3 / 5; ++i) {
        noise = noise * 1664525u + 1013904223u;
        bytes[i] = static_cast<uint8_t>(noise >> 24);
    }
    WriteBytes(to, bytes);
    return true;
}

bool Truncate(const std::string& from, const std::string& to, double share) {
    std::vector<uint8_t> bytes = ReadBytes(from);
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * share));
    WriteBytes(to, bytes);
    return !bytes.empty();
}

}  // namespace tavrisk::test
