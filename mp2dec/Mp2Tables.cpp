// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/Mp2Tables.h"

#include <cmath>

namespace tavrisk::mp2dec {

namespace {

constexpr std::array<QuantClass, kQuantClassCount> kQuantClasses = {{
    {3, 5, true},
    {5, 7, true},
    {7, 3, false},
    {9, 10, true},
    {15, 4, false},
    {31, 5, false},
    {63, 6, false},
    {127, 7, false},
    {255, 8, false},
    {511, 9, false},
    {1023, 10, false},
    {2047, 11, false},
    {4095, 12, false},
    {8191, 13, false},
    {16383, 14, false},
    {32767, 15, false},
    {65535, 16, false},
}};

constexpr std::array<int, kAllocTables> kSubbandLimits = {27, 30, 8, 12, 30};
constexpr double kWindowStep = 1.0 / 65536.0;

struct ScaleFactorTable {
    std::array<double, kScaleFactorCount> values{};
    ScaleFactorTable() {
        for (int i = 0; i < kScaleFactorCount; ++i) values[i] = std::exp2(1.0 - i / 3.0);
    }
};

}  // namespace

const QuantClass& GetQuantClass(int quantClass) {
    return kQuantClasses[quantClass];
}

int TableSubbandLimit(int table) {
    return kSubbandLimits[table];
}

double ScaleFactor(int index) {
    static const ScaleFactorTable table;
    return table.values[index];
}

double SynthesisWindow(int i) {
    return kWindowSteps[i] * kWindowStep;
}

}  // namespace tavrisk::mp2dec
