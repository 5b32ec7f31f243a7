#include <gtest/gtest.h>

#include <sstream>

#include "cli/Mp2Commands.h"
#include "tests/mp2dec/TestFrameWriter.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// Four hand-made six-channel frames in a file of `dir`.
std::string FourFrames(const TempDir& dir) {
    const auto frame = mp2dec::test::WriteTestFrame(mp2dec::test::TestFrame{});
    std::vector<uint8_t> stream;
    for (int i = 0; i < 4; ++i) stream.insert(stream.end(), frame.begin(), frame.end());
    const std::string mp2 = dir.File("in.mp2");
    WriteBytes(mp2, stream);
    return mp2;
}

TEST(Mp2Commands, ShowProgressOnTheErrorStreamOnly) {
    TempDir dir;
    const std::string mp2 = FourFrames(dir);
    std::ostringstream out, err;
    EXPECT_EQ(RunDecodeCommand({mp2, dir.File("out.wav")}, out, err, true), 0) << err.str();
    EXPECT_NE(err.str().find("\rDecoding 100 %\n"), std::string::npos) << err.str();
    EXPECT_EQ(out.str().find('\r'), std::string::npos);
    std::ostringstream checkOut, checkErr;
    EXPECT_EQ(RunCheckCommand({mp2}, checkOut, checkErr, true), 0);
    EXPECT_NE(checkErr.str().find("\rChecking 100 %\n"), std::string::npos);
    EXPECT_NE(checkOut.str().find("4 frame(s), 4 with multichannel extension, 0 damaged"),
              std::string::npos)
        << checkOut.str();
}

TEST(Mp2Commands, UsageRefusalsAndFailuresHaveTheirOwnStatus) {
    std::ostringstream out, err;
    EXPECT_EQ(RunDecodeCommand({"only-one.mp2"}, out, err, false), 64);
    EXPECT_NE(err.str().find("usage: tavrisk-cli decode FILE.mp2 OUT.wav [--stereo]"),
              std::string::npos);
    EXPECT_EQ(RunDecodeCommand({"a.mp2", "b.wav", "--mono"}, out, err, false), 64);
    EXPECT_EQ(RunCheckCommand({}, out, err, false), 64);
    EXPECT_NE(err.str().find("usage: tavrisk-cli check FILE.mp2"), std::string::npos);

    // Refused: nothing was read or written.
    EXPECT_EQ(RunDecodeCommand({"/nonexistent/a.mp2", "b.wav"}, out, err, false), 2);
    EXPECT_NE(err.str().find("cannot open /nonexistent/a.mp2"), std::string::npos);
    EXPECT_EQ(RunCheckCommand({"/nonexistent/a.mp2"}, out, err, false), 2);
    TempDir dir;
    const std::string same = dir.File("same.mp2");
    WriteBytes(same, {1, 2, 3});
    EXPECT_EQ(RunDecodeCommand({same, dir.File("./same.mp2")}, out, err, false), 2);
    EXPECT_NE(err.str().find("would overwrite the input"), std::string::npos) << err.str();
    EXPECT_EQ(ReadBytes(same).size(), 3u);

    // Failed: the work began.
    const std::string mp2 = FourFrames(dir);
    const std::string unwritable = dir.File("missing-folder/out.wav");
    EXPECT_EQ(RunDecodeCommand({mp2, unwritable}, out, err, false), 1);
    EXPECT_NE(err.str().find("cannot create " + unwritable), std::string::npos) << err.str();
}

}  // namespace
}  // namespace tavrisk
