// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mp2enc/EncoderTables.h"

namespace tavrisk::mp2 {
namespace {

std::filesystem::path TablesDir() {
    return std::filesystem::path(TAVRISK_TEST_DATA_DIR) / "mpeg-tables";
}

// Data rows of a table file (the header line skipped), each split into words.
std::vector<std::vector<std::string>> ReadRows(const std::string& name) {
    std::ifstream in(TablesDir() / name);
    EXPECT_TRUE(in.good()) << name;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string w; words >> w;) row.push_back(w);
        rows.push_back(row);
    }
    return rows;
}

TEST(EncoderTables, AllocationTablesMatchTheFileEntryForEntry) {
    int expected[kAllocationTables][kSubbands][kAllocationIndices][4] = {};
    const auto rows = ReadRows("alloc_tables.txt");
    ASSERT_EQ(rows.size(), 976u);
    for (const auto& r : rows) {
        auto& e = expected[std::stoi(r[0])][std::stoi(r[1])][std::stoi(r[2])];
        for (int i = 0; i < 4; ++i) e[i] = std::stoi(r[3 + i]);
    }
    for (int t = 0; t < kAllocationTables; ++t) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            for (int i = 0; i < kAllocationIndices; ++i) {
                const AllocationEntry& e = AllocationTableOf(t)[sb][i];
                const auto& x = expected[t][sb][i];
                EXPECT_EQ(e.steps, x[0]) << t << " " << sb << " " << i;
                EXPECT_EQ(e.bits, x[1]) << t << " " << sb << " " << i;
                EXPECT_EQ(e.group, x[2]) << t << " " << sb << " " << i;
                EXPECT_EQ(e.quant, x[3]) << t << " " << sb << " " << i;
            }
        }
    }
}

TEST(EncoderTables, AllocationFieldWidthsAndLimitsHaveTheStatedShape) {
    struct Shape {
        int four, three, limit;  // nbal 4 below `four`, 3 below `three`, 2 below `limit`
    };
    const Shape shapes[kAllocationTables] = {
        {11, 23, 27}, {11, 23, 30}, {2, 8, 8}, {2, 12, 12}, {4, 11, 30}};
    for (int t = 0; t < kAllocationTables; ++t) {
        EXPECT_EQ(AllocationTableLimit(t), shapes[t].limit);
        for (int sb = 0; sb < kSubbands; ++sb) {
            const int nbal = AllocationBits(AllocationTableOf(t), sb);
            const int want = sb < shapes[t].four    ? 4
                             : sb < shapes[t].three ? 3
                             : sb < shapes[t].limit ? 2
                                                    : 0;
            EXPECT_EQ(nbal, want) << "table " << t << " subband " << sb;
        }
    }
    EXPECT_EQ(AllocationTableLimit(7), 27) << "an unknown table number is table 0";
    const AllocationEntry last = AllocationTableOf(2)[7][7];
    EXPECT_EQ(last.steps, 127);
    EXPECT_EQ(last.bits, 7);
    EXPECT_EQ(AllocationTableOf(2)[8][0].bits, 0);
    const AllocationEntry top = AllocationTableOf(0)[26][3];
    EXPECT_EQ(top.steps, 65535);
    EXPECT_EQ(top.quant, 16);
}

TEST(EncoderTables, GroupedClassesAndCodeWidthsAreConsistent) {
    for (int t = 0; t < kAllocationTables; ++t) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            for (int i = 1; i < kAllocationIndices; ++i) {
                const AllocationEntry& e = AllocationTableOf(t)[sb][i];
                if (e.steps == 0) continue;
                if (e.quant == 0 || e.quant == 1 || e.quant == 3) {
                    EXPECT_EQ(e.group, 1);
                    EXPECT_EQ(1 << e.bits > e.steps * e.steps * e.steps, true);
                } else {
                    EXPECT_EQ(e.group, 3);
                    EXPECT_EQ((1 << e.bits) - 1, e.steps);
                }
            }
        }
    }
}

TEST(EncoderTables, WindowScaleFactorsAndCoefficientsMatchTheFiles) {
    const auto window = ReadRows("analysis_window.txt");
    ASSERT_EQ(window.size(), 512u);
    for (int i = 0; i < kWindowSize; ++i) {
        EXPECT_DOUBLE_EQ(kAnalysisWindow[i], std::stod(window[i][1])) << i;
    }
    for (int i = 1; i < 256; ++i) {
        const double sign = i % 64 == 0 ? 1.0 : -1.0;
        EXPECT_DOUBLE_EQ(kAnalysisWindow[512 - i], sign * kAnalysisWindow[i]) << i;
    }
    const auto scales = ReadRows("scale_factors.txt");
    ASSERT_EQ(scales.size(), 63u);
    for (int i = 0; i < 63; ++i) EXPECT_DOUBLE_EQ(kScaleFactorTable[i], std::stod(scales[i][1]));
    EXPECT_DOUBLE_EQ(kScaleFactorTable[63], 1e-20);

    const auto coefficients = ReadRows("quant_coefficients.txt");
    ASSERT_EQ(coefficients.size(), 17u);
    for (int c = 0; c < kQuantClasses; ++c) {
        EXPECT_DOUBLE_EQ(kQuantA[c], std::stod(coefficients[c][2]));
        EXPECT_DOUBLE_EQ(kQuantB[c], std::stod(coefficients[c][3]));
    }
    const auto snr = ReadRows("snr.txt");
    ASSERT_EQ(snr.size(), 18u);
    for (int i = 0; i < 18; ++i) EXPECT_DOUBLE_EQ(kSnrTable[i], std::stod(snr[i][2]));
}

}  // namespace
}  // namespace tavrisk::mp2
