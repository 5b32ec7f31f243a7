// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include "GraphModelSupport.h"
#include "graph/FilterCatalogue.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::BuiltCatalogue;

TEST(FilterCatalogueBuild, ProgressRisesFromZeroAndEndsWithOneHundredOnce) {
    const std::vector<int>& progress = BuiltCatalogue().progress;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST(FilterCatalogueBuild, ListFileHoldsTheGeneralEntriesInReadingOrder) {
    const test::SharedCatalogue& built = BuiltCatalogue();
    std::string expected;
    const auto entries = built.catalogue.Entries();
    // Entries run from the head, the last one found first.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if ((*it)->category.empty()) expected += (*it)->name + "\n";
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(built.filterList, expected);
}

TEST(FilterCatalogueBuild, ClassEntriesComeAfterTheGeneralOnesWithTheirClass) {
    const auto entries = BuiltCatalogue().catalogue.Entries();
    // From the head: first every class entry, then every general one.
    const auto firstGeneral = std::find_if(entries.begin(), entries.end(),
                                           [](const auto* e) { return e->category.empty(); });
    EXPECT_TRUE(std::all_of(firstGeneral, entries.end(),
                            [](const auto* e) { return e->category.empty(); }));

    const FilterCatalogue& catalogue = BuiltCatalogue().catalogue;
    const CatalogueEntry* ac3 = catalogue.FindByName("libav ATSC A/52A (AC-3) decoder");
    ASSERT_NE(ac3, nullptr);
    EXPECT_EQ(ac3->classId.rfind("avdec_ac3", 0), 0u);
    EXPECT_EQ(ac3->category, "Audio Decoder");
    const CatalogueEntry* volume = catalogue.FindByName("Volume");
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->category, "Audio Effect");
    const CatalogueEntry* fileSource = catalogue.FindByName("File Source");
    ASSERT_NE(fileSource, nullptr);
    EXPECT_EQ(fileSource->classId, "filesrc");
    EXPECT_EQ(fileSource->category, "");
    const CatalogueEntry* testSource = catalogue.FindByName("Audio test source");
    ASSERT_NE(testSource, nullptr);
    EXPECT_EQ(testSource->category, "Audio Capture Effect");
}

TEST(FilterCatalogueLookup, FindByNameIsExact) {
    const FilterCatalogue& catalogue = BuiltCatalogue().catalogue;
    EXPECT_NE(catalogue.FindByName("Volume"), nullptr);
    EXPECT_EQ(catalogue.FindByName("volume"), nullptr);
    EXPECT_EQ(catalogue.FindByName("Volume "), nullptr);
    EXPECT_EQ(catalogue.FindByName(""), nullptr);
}

TEST(FilterCatalogueLookup, FindByClassIdAddsOneEntryFromTheRegistry) {
    test::StartGraphRuntime();
    FilterCatalogue catalogue;
    const CatalogueEntry* first = catalogue.FindByClassId("volume");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->name, "Volume");
    EXPECT_EQ(first->category, "");
    EXPECT_EQ(catalogue.FindByClassId("volume"), first);
    EXPECT_EQ(catalogue.FindByClassId("nosuchfactory"), nullptr);
    EXPECT_EQ(catalogue.Entries().size(), 1u);
    // The newest entry is at the head and lookups search from there.
    const CatalogueEntry* again = catalogue.Add({"Volume", "other", ""});
    EXPECT_EQ(catalogue.Entries().front(), again);
    EXPECT_EQ(catalogue.FindByName("Volume"), again);
}

TEST(FilterCatalogueLookup, CreateInstanceMakesAFloatingElementOfTheEntry) {
    test::StartGraphRuntime();
    FilterCatalogue catalogue;
    GstElement* element = catalogue.CreateInstance({"Volume", "volume", ""});
    ASSERT_NE(element, nullptr);
    EXPECT_TRUE(g_object_is_floating(element));
    EXPECT_STREQ(GST_OBJECT_NAME(gst_element_get_factory(element)), "volume");
    gst_object_unref(gst_object_ref_sink(element));
    EXPECT_EQ(catalogue.CreateInstance({"Missing", "nosuchfactory", ""}), nullptr);
}

}  // namespace
}  // namespace tavrisk
