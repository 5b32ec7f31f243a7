// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mp2enc/ThresholdTables.h"

namespace tavrisk::mp2 {
namespace {

std::string TablePath(const std::string& name) {
    return TAVRISK_TEST_DATA_DIR "/mpeg-tables/" + name;
}

// Data rows of a table file (its one header line skipped), as words.
std::vector<std::vector<std::string>> ReadRows(const std::string& name) {
    std::ifstream in(TablePath(name));
    EXPECT_TRUE(in) << TablePath(name);
    std::vector<std::vector<std::string>> rows;
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#') continue;
        std::istringstream words(text);
        std::vector<std::string> row;
        for (std::string word; words >> word;) row.push_back(word);
        rows.push_back(row);
    }
    return rows;
}

struct RateFile {
    int code;
    int rate;
};
constexpr RateFile kRateFiles[] = {{0, 44100}, {1, 48000}, {2, 32000},
                                   {4, 22050}, {5, 24000}, {6, 16000}};

TEST(ThresholdTablesTest, EveryThresholdTableMatchesItsFileAndIsZeroAround) {
    for (int layer = 1; layer <= 2; ++layer) {
        for (const auto& file : kRateFiles) {
            const auto name =
                "ltg_layer" + std::to_string(layer) + "_" + std::to_string(file.rate) + ".txt";
            SCOPED_TRACE(name);
            const auto rows = ReadRows(name);
            const auto& table = Ltg(layer, file.code);
            ASSERT_EQ(LtgRows(layer, file.code), static_cast<int>(rows.size()));
            EXPECT_EQ(table[0].line, 0);
            EXPECT_EQ(table[0].bark, 0.0);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                EXPECT_EQ(table[i + 1].line, std::stoi(rows[i][0])) << i;
                EXPECT_EQ(table[i + 1].bark, std::stod(rows[i][1])) << i;
                EXPECT_EQ(table[i + 1].hear, std::stod(rows[i][2])) << i;
                // Silence (at most 512 lines of -103.67 dB) must stay below every threshold.
                EXPECT_GT(table[i + 1].hear, -20.0) << i;
                // The model's masking search relies on rising lines and Bark values.
                if (i > 0) {
                    EXPECT_GT(table[i + 1].line, table[i].line) << i;
                    EXPECT_GE(table[i + 1].bark, table[i].bark) << i;
                }
            }
            for (std::size_t i = rows.size() + 1; i < table.size(); ++i) {
                EXPECT_EQ(table[i].line, 0);
                EXPECT_EQ(table[i].bark, 0.0);
                EXPECT_EQ(table[i].hear, 0.0);
            }
        }
    }
}

TEST(ThresholdTablesTest, SizesAndEndRowsOfTheLayerTwoTablesInUse) {
    EXPECT_EQ(LtgRows(2, 0), 130);
    EXPECT_EQ(LtgRows(2, 1), 126);
    EXPECT_EQ(LtgRows(2, 2), 132);
    EXPECT_EQ(Ltg(2, 0)[130].line, 464);
    EXPECT_EQ(Ltg(2, 0)[130].hear, 69.13);
    EXPECT_EQ(Ltg(2, 1)[126].line, 432);
    EXPECT_EQ(Ltg(2, 1)[126].bark, 24.597);
    EXPECT_EQ(Ltg(2, 1)[127].line, 0);
    EXPECT_EQ(Ltg(2, 2)[117].line, 360);
    EXPECT_EQ(Ltg(2, 2)[121].line, 392);
}

TEST(ThresholdTablesTest, CriticalBandRowsMatchTheirFile) {
    const auto rows = ReadRows("cbound.txt");
    ASSERT_EQ(rows.size(), 14u);
    for (const auto& row : rows) {
        const int layer = std::stoi(row[0]);
        const int code = std::stoi(row[1]);
        SCOPED_TRACE(testing::Message() << "layer " << layer << " code " << code);
        ASSERT_EQ(row.size(), 2u + kCriticalBandBounds);
        const auto& bounds = Cbound(layer, code);
        for (int b = 0; b < kCriticalBandBounds; ++b) {
            EXPECT_EQ(bounds[b], std::stoi(row[2 + b])) << b;
        }
    }
    EXPECT_EQ(Cbound(2, 2)[24], 481);
    EXPECT_EQ(Cbound(2, 2)[25], 0);
}

TEST(ThresholdTablesTest, UnknownLayerOrCodeGivesZeroTables) {
    for (auto [layer, code] : {std::pair{0, 1}, {3, 1}, {2, -1}, {2, 7}, {2, 3}}) {
        EXPECT_EQ(LtgRows(layer, code), 0);
        for (const auto& entry : Ltg(layer, code)) {
            EXPECT_EQ(entry.line, 0);
            EXPECT_EQ(entry.hear, 0.0);
        }
        for (int bound : Cbound(layer, code)) EXPECT_EQ(bound, 0);
    }
}

}  // namespace
}  // namespace tavrisk::mp2
