// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
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
    EXPECT_NE(err.str().find("usage: tavrisk-cli decode FILE OUT.wav [--stereo]"),
              std::string::npos);
    EXPECT_EQ(RunDecodeCommand({"a.mp2", "b.wav", "--mono"}, out, err, false), 64);
    EXPECT_EQ(RunCheckCommand({}, out, err, false), 64);
    EXPECT_NE(err.str().find("usage: tavrisk-cli check FILE"), std::string::npos);

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

TEST(Mp2Commands, DecodeReplacesAnExistingOutputOnlyWithYesAndNeverItsInput) {
    TempDir dir;
    const std::string mp2 = FourFrames(dir);
    const auto original = ReadBytes(mp2);
    const std::string wav = dir.File("out.wav");
    const std::vector<uint8_t> earlier = {7, 7, 7};
    WriteBytes(wav, earlier);
    std::ostringstream out, err;
    EXPECT_EQ(RunDecodeCommand({mp2, wav}, out, err, false), 2);
    EXPECT_NE(err.str().find("the output " + wav + " exists: use --yes to overwrite it"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(ReadBytes(wav), earlier);

    EXPECT_EQ(RunDecodeCommand({mp2, wav, "--yes"}, out, err, false), 0) << err.str();
    EXPECT_EQ(test::ReadWav(wav).channels, 6);
    EXPECT_EQ(test::ReadWav(wav).Frames(), 4u * 1152);

    std::filesystem::create_symlink(mp2, dir.File("link.mp2"));
    std::filesystem::create_hard_link(mp2, dir.File("hard.mp2"));
    for (const std::string& same : {dir.File("link.mp2"), dir.File("hard.mp2")}) {
        std::ostringstream sameErr;
        EXPECT_EQ(RunDecodeCommand({mp2, same, "--yes"}, out, sameErr, false), 2) << same;
        EXPECT_NE(sameErr.str().find("would overwrite the input"), std::string::npos);
    }
    EXPECT_EQ(ReadBytes(mp2), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 4)
        << "in.mp2, out.wav and the two links: no temporary";
}

}  // namespace
}  // namespace tavrisk
