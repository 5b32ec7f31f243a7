// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

namespace tavrisk::mp2dec {

inline constexpr int kSubbands = 32;
inline constexpr int kAllocTables = 5;
inline constexpr int kAllocValues = 16;
inline constexpr int kWindowLength = 512;
inline constexpr int kScaleFactorCount = 63;
inline constexpr int kQuantClassCount = 17;
inline constexpr int kGranules = 12;
inline constexpr int kSamplesPerGranule = 3;
inline constexpr int kParts = 3;
inline constexpr int kGranulesPerPart = 4;
inline constexpr int kSubbandSamples = kGranules * kSamplesPerGranule;  // 36 per subband
inline constexpr int kFrameSamples = kSubbandSamples * kSubbands;       // 1152

// Allocation tables by index: 0..3 the four full-rate stereo tables, 4 the low-rate table.
inline constexpr int kTableHighRate48 = 0;
inline constexpr int kTableHighRate = 1;
inline constexpr int kTableLowRate = 2;
inline constexpr int kTableLowRate32 = 3;
inline constexpr int kTableHalfRate = 4;

extern const std::array<std::array<uint8_t, kSubbands>, kAllocTables> kAllocationWidth;
inline constexpr int kAllocationRowCount = 9;
extern const std::array<std::array<int8_t, kAllocValues>, kAllocationRowCount> kAllocationRows;
extern const std::array<std::array<uint8_t, kSubbands>, kAllocTables> kAllocationRowOf;
extern const std::array<int32_t, kWindowLength> kWindowSteps;

// One quantiser: its number of levels, the width of one code word and whether three samples
// share one code word.
struct QuantClass {
    int levels;
    int bits;
    bool grouped;
};
const QuantClass& GetQuantClass(int quantClass);

// Quantisation class of an allocation value, or -1 when the value sends nothing.
inline int AllocationClass(int table, int subband, uint32_t value) {
    return kAllocationRows[kAllocationRowOf[table][subband]][value];
}
// Number of subbands a table codes.
int TableSubbandLimit(int table);
// Scale factor of an index 0..62: 2^(1 - index/3).
double ScaleFactor(int index);
// Synthesis window coefficient i (0..511).
double SynthesisWindow(int i);

}  // namespace tavrisk::mp2dec
