// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mp2dec/Mp2Tables.h"

namespace tavrisk::mp2dec {
namespace {

// Data rows of one of the reference table files (the first line is a comment).
std::vector<std::vector<double>> TableRows(const std::string& name) {
    std::ifstream in(TAVRISK_TEST_DATA_DIR "/mpeg-tables/" + name);
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<double> row;
        for (double v; fields >> v;) row.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

TEST(Mp2Tables, AllocationTablesMatchTheReferenceFile) {
    const auto rows = TableRows("alloc_tables.txt");
    ASSERT_GT(rows.size(), 400u);
    int widthsChecked = 0;
    for (const auto& r : rows) {
        const int table = static_cast<int>(r[0]);
        const int sb = static_cast<int>(r[1]);
        const int index = static_cast<int>(r[2]);
        if (index == 0) {
            EXPECT_EQ(kAllocationWidth[table][sb], r[4]) << table << "/" << sb;
            EXPECT_EQ(AllocationClass(table, sb, 0), -1);
            ++widthsChecked;
            continue;
        }
        const int quantClass = AllocationClass(table, sb, static_cast<uint32_t>(index));
        ASSERT_GE(quantClass, 0) << table << "/" << sb << "/" << index;
        const QuantClass& q = GetQuantClass(quantClass);
        EXPECT_EQ(quantClass, r[6]);
        EXPECT_EQ(q.levels, r[3]);
        EXPECT_EQ(q.bits, r[4]);
        EXPECT_EQ(q.grouped, r[5] == 1);
    }
    for (int table = 0; table < kAllocTables; ++table) {
        const int limit = TableSubbandLimit(table);
        EXPECT_GT(kAllocationWidth[table][limit - 1], 0);
        for (int sb = limit; sb < kSubbands; ++sb) EXPECT_EQ(kAllocationWidth[table][sb], 0);
    }
    EXPECT_EQ(widthsChecked, 27 + 30 + 8 + 12 + 30);
}

TEST(Mp2Tables, WindowIsThirtyTwoTimesTheAnalysisWindow) {
    const auto rows = TableRows("analysis_window.txt");
    ASSERT_EQ(rows.size(), 512u);
    for (const auto& r : rows)
        EXPECT_NEAR(SynthesisWindow(static_cast<int>(r[0])), 32.0 * r[1], 32 * 5e-10) << r[0];
    EXPECT_NEAR(SynthesisWindow(256), 1.144989014, 1e-9);
}

TEST(Mp2Tables, ScaleFactorsMatchTheReferenceFile) {
    const auto rows = TableRows("scale_factors.txt");
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kScaleFactorCount));
    for (const auto& r : rows)
        EXPECT_NEAR(ScaleFactor(static_cast<int>(r[0])), r[1], 1e-14) << r[0];
}

}  // namespace
}  // namespace tavrisk::mp2dec
