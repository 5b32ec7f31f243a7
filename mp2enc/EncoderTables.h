// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

namespace tavrisk::mp2 {

constexpr int kSubbands = 32;
constexpr int kAllocationIndices = 16;
constexpr int kAllocationTables = 5;
constexpr int kQuantClasses = 17;
constexpr int kWindowSize = 512;
constexpr int kScaleFactors = 64;
// Index of the smallest real scale factor; also the filler above a channel's limit.
constexpr int kSmallestScaleIndex = 62;

// One quantiser of a Layer II allocation table. Entry 0 of a subband row holds the width
// of that subband's allocation field in `bits` and zeros elsewhere.
struct AllocationEntry {
    int steps = 0;  // quantisation levels
    int bits = 0;   // bits per code word
    int group = 0;  // 3: one code per sample; 1: three samples share one grouped code
    int quant = 0;  // quantisation class, index into the A/B coefficients
};

using AllocationRowEntries = std::array<AllocationEntry, kAllocationIndices>;
using AllocationTable = std::array<AllocationRowEntries, kSubbands>;

// Tables 0..3: compatible tables B.2a..B.2d; table 4: the multichannel table B.1.
const AllocationTable& AllocationTableOf(int tableNumber);
// Subband limit of each allocation table; a number outside 0..4 is treated as 0.
int AllocationTableLimit(int tableNumber);
// Width of the allocation field of subband `sb` (0 above the table's limit).
inline int AllocationBits(const AllocationTable& table, int sb) {
    return table[sb][0].bits;
}

extern const std::array<double, kQuantClasses> kQuantA;
extern const std::array<double, kQuantClasses> kQuantB;
// SNR in dB: entry 0 = no allocation, entry c + 1 = quantisation class c.
extern const std::array<double, kQuantClasses + 1> kSnrTable;
// Layer II scale factors 2^(1 - i/3) as printed, entry 63 = 1e-20 ("nothing").
extern const std::array<double, kScaleFactors> kScaleFactorTable;
// The analysis window C[i] of the polyphase filterbank.
extern const std::array<double, kWindowSize> kAnalysisWindow;

}  // namespace tavrisk::mp2
