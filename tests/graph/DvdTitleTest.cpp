// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "graph/DvdTitle.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

// The parts of a title in order, its menu left out; the title set with the most bytes for a
// folder; nothing for what is not a title.
TEST(DvdTitleTest, TheTitleOfAFolderOrOfOneOfItsFiles) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.File("disc/VIDEO_TS"));
    const auto write = [&](const std::string& name, std::size_t bytes) {
        test::WriteBytes(dir.File("disc/VIDEO_TS/" + name), std::vector<uint8_t>(bytes, 0));
        return dir.File("disc/VIDEO_TS/" + name);
    };
    write("VIDEO_TS.VOB", 9000);
    write("VTS_01_0.VOB", 5000);
    const std::string extra1 = write("VTS_01_1.VOB", 1000);
    const std::string film1 = write("vts_02_1.vob", 3000);
    const std::string film2 = write("VTS_02_2.VOB", 3000);
    const std::string film10 = write("VTS_02_3.VOB", 10);
    const std::vector<std::string> film = {film1, film2, film10};
    const struct {
        std::string input;
        std::vector<std::string> files;
    } cases[] = {
        {dir.File("disc"), film},
        {dir.File("disc/VIDEO_TS"), film},
        {film2, film},
        {extra1, {extra1}},
        {dir.File("disc/VIDEO_TS/VTS_01_0.VOB"), {}},
        {dir.File("disc/VIDEO_TS/VIDEO_TS.VOB"), {}},
        {dir.File("elsewhere"), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(DvdTitleFiles(c.input), c.files) << c.input;

    // Whole sectors and every part: nothing wrong; else the first file at fault is named.
    const std::string whole1 = write("VTS_03_1.VOB", 4096), whole2 = write("VTS_03_2.VOB", 2048);
    const std::string whole4 = write("VTS_03_4.VOB", 2048);
    EXPECT_EQ(TitleDamage({whole1, whole2}), "");
    EXPECT_EQ(TitleDamage({whole1, whole2, whole4}), "VTS_03_3.VOB is missing from the DVD title");
    EXPECT_EQ(TitleDamage(film),
              "vts_02_1.vob ends inside a 2048-byte sector: the DVD title was "
              "cut short there");
}

}  // namespace
}  // namespace tavrisk
