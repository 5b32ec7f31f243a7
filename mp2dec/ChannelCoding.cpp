// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/ChannelCoding.h"

namespace tavrisk::mp2dec {

namespace {

constexpr int kInvalidScaleIndex = 63;

// Scale factor selection: which of the three parts read a new value.
enum Scfsi { kThreeScales = 0, kFirstTwoShared = 1, kOneScale = 2, kLastTwoShared = 3 };

constexpr int kMaxGroupedLevels = 9;
constexpr int kMaxGroupedCodes = kMaxGroupedLevels * kMaxGroupedLevels * kMaxGroupedLevels;

// What reading a class needs at hand: the width and count of its code words, and the
// midpoint of each level's interval, (2 code + 1 - levels) / levels (a grouped class's levels
// are few; the others are computed), with the three digits of each grouped code word.
struct ClassReading {
    int bits = 0;
    uint32_t levels = 0;
    uint32_t count = 0;
    bool grouped = false;
    double step = 0.0;
    double offset = 0.0;
    std::array<double, kMaxGroupedLevels> levelValue{};
    std::array<std::array<uint8_t, 3>, kMaxGroupedCodes> digits{};
};

struct Dequantiser {
    std::array<ClassReading, kQuantClassCount> classes{};
    Dequantiser() {
        for (int c = 0; c < kQuantClassCount; ++c) {
            const QuantClass& q = GetQuantClass(c);
            ClassReading& r = classes[c];
            const double levels = q.levels;
            r.bits = q.bits;
            r.levels = static_cast<uint32_t>(q.levels);
            r.grouped = q.grouped;
            r.count = q.grouped ? r.levels * r.levels * r.levels : r.levels;
            r.step = 2.0 / levels;
            r.offset = (1.0 - levels) / levels;
            if (!q.grouped) continue;
            for (uint32_t code = 0; code < r.levels; ++code)
                r.levelValue[code] = code * r.step + r.offset;
            for (uint32_t code = 0; code < r.count; ++code)
                for (uint32_t i = 0, rest = code; i < 3; ++i, rest /= r.levels)
                    r.digits[code][i] = static_cast<uint8_t>(rest % r.levels);
        }
    }
};
const Dequantiser kDequantiser;

inline double Dequantise(uint32_t code, const ClassReading& r) {
    return code * r.step + r.offset;
}

[[gnu::cold, gnu::noinline]] uint32_t OutOfRange(uint32_t code, const ClassReading& r,
                                                 std::string& error) {
    error = (r.grouped ? "grouped sample code " : "sample code ") + std::to_string(code) +
            " out of range for " + std::to_string(r.levels) + " levels";
    return r.count - 1;
}

// Reads one code word; an out-of-range code is reported and clamped.
inline uint32_t ReadCode(BitReader& reader, const ClassReading& r, std::string& error) {
    const uint32_t code = reader.Read(r.bits);
    return code < r.count ? code : OutOfRange(code, r, error);
}

}  // namespace

void ChannelCoding::ReadAllocation(BitReader& reader, int table, int subband) {
    const uint32_t value = reader.Read(kAllocationWidth[table][subband]);
    quantClass[subband] = static_cast<int8_t>(AllocationClass(table, subband, value));
}

void ChannelCoding::ReadScfsi(BitReader& reader, int subband) {
    if (quantClass[subband] != kNone)
        scfsi[subband] = static_cast<uint8_t>(reader.Read(kScfsiBits));
}

void ChannelCoding::ReadScaleFactors(BitReader& reader, int sb, std::string& error) {
    if (quantClass[sb] == kNone) return;
    auto readOne = [&]() {
        int index = static_cast<int>(reader.Read(kScaleBits));
        if (index == kInvalidScaleIndex) {
            error = "invalid scale factor index 63 in subband " + std::to_string(sb);
            index = kScaleFactorCount - 1;
        }
        return ScaleFactor(index);
    };
    auto& s = scale[sb];
    switch (scfsi[sb]) {
        case kThreeScales:
            s[0] = readOne();
            s[1] = readOne();
            s[2] = readOne();
            break;
        case kFirstTwoShared:
            s[0] = s[1] = readOne();
            s[2] = readOne();
            break;
        case kOneScale:
            s[0] = s[1] = s[2] = readOne();
            break;
        default:
            s[0] = readOne();
            s[1] = s[2] = readOne();
            break;
    }
}

void ReadSampleTriplet(BitReader& reader, int quantClass, std::array<double, 3>& values,
                       std::string& error) {
    const ClassReading& r = kDequantiser.classes[quantClass];
    if (r.grouped) {
        const auto& digits = r.digits[ReadCode(reader, r, error)];
        for (int i = 0; i < 3; ++i) values[i] = r.levelValue[digits[i]];
        return;
    }
    for (double& v : values) v = Dequantise(ReadCode(reader, r, error), r);
}

bool PartIsClean(const char* part, const std::string& error, const BitReader& reader,
                 long frameNumber, ProblemLog& log) {
    if (!error.empty()) log.Error(frameNumber, std::string(part) + " part: " + error);
    if (reader.Overrun()) log.Error(frameNumber, std::string(part) + " part runs beyond the frame");
    return error.empty() && !reader.Overrun();
}

double ReadSingleSample(BitReader& reader, int quantClass, std::string& error) {
    const ClassReading& r = kDequantiser.classes[quantClass];
    const uint32_t code = ReadCode(reader, r, error);
    return r.grouped ? r.levelValue[r.digits[code][0]] : Dequantise(code, r);
}

}  // namespace tavrisk::mp2dec
