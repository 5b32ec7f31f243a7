// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::Quote;
using test::RunCommand;
using test::TempDir;
using test::WriteBytes;

int Status(const std::string& arguments) {
    return RunCommand(Quote(test::BinPath("tavrisk-cli")) + " " + arguments + " 2>&1").exitCode;
}

// Every command of the executable keeps to the one table of exit statuses.
TEST(ExitStatus, EveryCommandKeepsToOneTable) {
    TempDir dir;
    const std::string missing = Quote(dir.File("missing.ac3"));
    EXPECT_EQ(Status("--help"), 0);
    EXPECT_EQ(Status("a.ac3 b.mp2 --no-such-option"), 64);
    EXPECT_EQ(Status("check"), 64);
    EXPECT_EQ(Status("decode only-one.mp2"), 64);
    EXPECT_EQ(Status(missing + " " + Quote(dir.File("out.mp2"))), 2);
    EXPECT_EQ(Status("check " + missing), 2);
    EXPECT_EQ(Status("decode " + missing + " " + Quote(dir.File("out.wav"))), 2);
    const std::string junk = dir.File("junk.mp2");
    WriteBytes(junk, std::vector<uint8_t>(3000, 0x5A));
    EXPECT_EQ(Status("check " + Quote(junk)), 1);
    EXPECT_EQ(Status("decode " + Quote(junk) + " " + Quote(dir.File("junk.wav"))), 1);
}

}  // namespace
}  // namespace tavrisk
