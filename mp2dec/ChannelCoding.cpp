// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/ChannelCoding.h"

namespace tavrisk::mp2dec {

namespace {

constexpr int kInvalidScaleIndex = 63;

// Scale factor selection: which of the three parts read a new value.
enum Scfsi { kThreeScales = 0, kFirstTwoShared = 1, kOneScale = 2, kLastTwoShared = 3 };

// Midpoint of the interval of code `code` among `levels` levels: (2 code + 1 - levels) /
// levels, with the divisions done once per class.
struct Dequantiser {
    std::array<double, kQuantClassCount> step{};
    std::array<double, kQuantClassCount> offset{};
    Dequantiser() {
        for (int c = 0; c < kQuantClassCount; ++c) {
            const double levels = GetQuantClass(c).levels;
            step[c] = 2.0 / levels;
            offset[c] = (1.0 - levels) / levels;
        }
    }
};
const Dequantiser kDequantiser;

inline double Dequantise(uint32_t code, int quantClass) {
    return code * kDequantiser.step[quantClass] + kDequantiser.offset[quantClass];
}

// Reads one code word; an out-of-range code is reported and clamped.
uint32_t ReadCode(BitReader& reader, const QuantClass& q, std::string& error) {
    const uint32_t levels = static_cast<uint32_t>(q.levels);
    const uint32_t count = q.grouped ? levels * levels * levels : levels;
    const uint32_t code = reader.Read(q.bits);
    if (code < count) return code;
    error = (q.grouped ? "grouped sample code " : "sample code ") + std::to_string(code) +
            " out of range for " + std::to_string(levels) + " levels";
    return count - 1;
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
    const QuantClass& q = GetQuantClass(quantClass);
    if (q.grouped) {
        uint32_t code = ReadCode(reader, q, error);
        for (double& v : values) {
            v = Dequantise(code % q.levels, quantClass);
            code /= q.levels;
        }
        return;
    }
    for (double& v : values) v = Dequantise(ReadCode(reader, q, error), quantClass);
}

bool PartIsClean(const char* part, const std::string& error, const BitReader& reader,
                 long frameNumber, ProblemLog& log) {
    if (!error.empty()) log.Error(frameNumber, std::string(part) + " part: " + error);
    if (reader.Overrun()) log.Error(frameNumber, std::string(part) + " part runs beyond the frame");
    return error.empty() && !reader.Overrun();
}

double ReadSingleSample(BitReader& reader, int quantClass, std::string& error) {
    const QuantClass& q = GetQuantClass(quantClass);
    const uint32_t code = ReadCode(reader, q, error);
    return Dequantise(q.grouped ? code % q.levels : code, quantClass);
}

}  // namespace tavrisk::mp2dec
