// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "mp2dec/BitReader.h"
#include "mp2dec/Mp2Tables.h"

namespace tavrisk::mp2dec {

inline constexpr int kMaxGroupedLevels = 9;
inline constexpr int kMaxGroupedCodes = kMaxGroupedLevels * kMaxGroupedLevels * kMaxGroupedLevels;

// What reading a quantisation class needs at hand: the width and count of its code words,
// the midpoint of a level's interval, (2 code + 1 - levels) / levels, and for a grouped
// class its few levels' midpoints and the three digits of each code word.
struct ClassReading {
    int bits = 0;
    uint32_t levels = 0;
    uint32_t count = 0;
    bool grouped = false;
    double step = 0.0;
    double offset = 0.0;
    std::array<double, kMaxGroupedLevels> levelValue{};
    std::array<std::array<uint8_t, 3>, kMaxGroupedCodes> digits{};

    double Level(uint32_t code) const { return code * step + offset; }
};

struct Dequantiser {
    Dequantiser();
    std::array<ClassReading, kQuantClassCount> classes{};
};
extern const Dequantiser kDequantiser;

// Reports an out-of-range code in `error` and returns the largest valid one.
[[gnu::cold, gnu::noinline]] uint32_t SampleCodeOutOfRange(uint32_t code, const ClassReading& r,
                                                           std::string& error);

inline uint32_t ReadSampleCode(BitReader& reader, const ClassReading& r, std::string& error) {
    const uint32_t code = reader.Read(r.bits);
    return code < r.count ? code : SampleCodeOutOfRange(code, r, error);
}

// Reads the code word(s) of three consecutive samples as fractions in (-1, 1); built inline
// into the readers' sample loops.
inline void ReadTriplet(BitReader& reader, int quantClass, std::array<double, 3>& values,
                        std::string& error) {
    const ClassReading& r = kDequantiser.classes[quantClass];
    if (r.grouped) {
        const auto& digits = r.digits[ReadSampleCode(reader, r, error)];
        for (int i = 0; i < 3; ++i) values[i] = r.levelValue[digits[i]];
        return;
    }
    for (double& v : values) v = r.Level(ReadSampleCode(reader, r, error));
}

}  // namespace tavrisk::mp2dec
