// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/ChannelCoding.h"

#include "mp2dec/SampleDequantiser.h"

namespace tavrisk::mp2dec {

namespace {

constexpr int kInvalidScaleIndex = 63;

// Scale factor selection: which of the three parts read a new value.
enum Scfsi { kThreeScales = 0, kFirstTwoShared = 1, kOneScale = 2, kLastTwoShared = 3 };

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
    ReadTriplet(reader, quantClass, values, error);
}

bool PartIsClean(const char* part, const std::string& error, const BitReader& reader,
                 long frameNumber, ProblemLog& log) {
    if (!error.empty()) log.Error(frameNumber, std::string(part) + " part: " + error);
    if (reader.Overrun()) log.Error(frameNumber, std::string(part) + " part runs beyond the frame");
    return error.empty() && !reader.Overrun();
}

double ReadSingleSample(BitReader& reader, int quantClass, std::string& error) {
    const ClassReading& r = kDequantiser.classes[quantClass];
    const uint32_t code = ReadSampleCode(reader, r, error);
    return r.grouped ? r.levelValue[r.digits[code][0]] : r.Level(code);
}

uint32_t SampleCodeOutOfRange(uint32_t code, const ClassReading& r, std::string& error) {
    error = (r.grouped ? "grouped sample code " : "sample code ") + std::to_string(code) +
            " out of range for " + std::to_string(r.levels) + " levels";
    return r.count - 1;
}

Dequantiser::Dequantiser() {
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
        for (uint32_t code = 0; code < r.levels; ++code) r.levelValue[code] = r.Level(code);
        for (uint32_t code = 0; code < r.count; ++code)
            for (uint32_t i = 0, rest = code; i < 3; ++i, rest /= r.levels)
                r.digits[code][i] = static_cast<uint8_t>(rest % r.levels);
    }
}

const Dequantiser kDequantiser;

}  // namespace tavrisk::mp2dec
