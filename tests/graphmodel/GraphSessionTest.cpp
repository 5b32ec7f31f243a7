// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/model/GraphSession.h"
#include "graph/WrapperSink.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

class SilentHost : public EditorHost {
  public:
    MessageAnswer MessageBox(std::string_view, std::string_view, MessageButtons,
                             MessageIcon) override {
        return MessageAnswer::Ok;
    }
    const CatalogueEntry* ChooseFilter(const FilterCatalogue&) override { return nullptr; }
    std::optional<std::string> ChooseFile(bool) override { return std::nullopt; }
    bool EditSettings(GstElement*, const std::string&) override { return false; }
    void SetInputFile(const std::string&) override {}
};

TEST(GraphSession, StartsBuildsItsCatalogueAndRemovesTheListFileWhenItEnds) {
    test::TempDir folder;
    SilentHost host;
    const std::string listPath = folder.File("FilterList.txt");
    {
        GraphSession session(host, folder.File("filters"), listPath);
        std::string error;
        ASSERT_TRUE(session.Start({}, error)) << error;
        EXPECT_TRUE(session.Graph().HasGraph());
        int last = -1;
        session.BuildCatalogue([&](int percent) { last = percent; });
        EXPECT_EQ(last, 100);
        EXPECT_NE(session.Catalogue().FindByName(kWrapperLongName), nullptr);
        std::ifstream list(listPath);
        std::vector<std::string> lines;
        for (std::string line; std::getline(list, line);) lines.push_back(line);
        EXPECT_NE(std::find(lines.begin(), lines.end(), kWrapperLongName), lines.end());
    }
    EXPECT_FALSE(std::filesystem::exists(listPath));
}

}  // namespace
}  // namespace tavrisk
