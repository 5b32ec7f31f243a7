// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

namespace tavrisk::mp2 {

// One record of a threshold table: FFT line, critical band rate (Bark), threshold in quiet (dB).
struct ThresholdEntry {
    int line = 0;
    double bark = 0.0;
    double hear = 0.0;
};

constexpr int kThresholdEntries = 133;   // entry 0 (zero), the rows, zero records up to 132
constexpr int kCriticalBandBounds = 26;  // boundaries per row, unused tail places 0
constexpr int kSamplingCodes =
    7;  // 0 = 44.1, 1 = 48, 2 = 32, 3 = none, 4 = 22.05, 5 = 24, 6 = 16 kHz

using ThresholdTable = std::array<ThresholdEntry, kThresholdEntries>;
using CriticalBandRow = std::array<int, kCriticalBandBounds>;

// Threshold table `ltg` of a layer (1 = 512-point, 2 = 1024-point FFT) and sampling-frequency
// code. Any layer or code without a table gives the all-zero table.
const ThresholdTable& Ltg(int layer, int samplingCode);
// Number of rows (entries 1..n) that the table carries; 0 for the all-zero table.
int LtgRows(int layer, int samplingCode);
// Critical band boundaries `cbound` (FFT line numbers) of a layer and sampling-frequency code.
const CriticalBandRow& Cbound(int layer, int samplingCode);

}  // namespace tavrisk::mp2
