// SPDX-License-Identifier: GPL-3.0-or-later
#include "GraphModelSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>

#include "graph/GraphRuntime.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {

void StartGraphRuntime() {
    static std::once_flag once;
    std::call_once(once, [] { ASSERT_EQ(InitGraphRuntime().Reason(), ""); });
}

SharedCatalogue& BuiltCatalogue() {
    static SharedCatalogue shared;
    static std::once_flag once;
    std::call_once(once, [] {
        StartGraphRuntime();
        SharedCatalogue* built = &shared;
        TempDir folder;
        const std::string listPath = folder.File("FilterList.txt");
        const auto start = std::chrono::steady_clock::now();
        built->catalogue.BuildCatalogue(
            [built](int percent) { built->progress.push_back(percent); }, listPath);
        built->seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::ifstream list(listPath);
        std::stringstream text;
        text << list.rdbuf();
        built->filterList = text.str();
        std::printf("Catalogue built in %.2f s: %zu entries\n", built->seconds,
                    built->catalogue.Entries().size());
    });
    return shared;
}

}  // namespace tavrisk::test
