#include <gtest/gtest.h>

#include <sstream>

#include "mp2dec/Mp2Commands.h"
#include "mp2dec/ProgressLine.h"
#include "tests/mp2dec/TestFrameWriter.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::mp2dec {
namespace {

TEST(ProgressLine, RedrawsOnlyWhenThePercentageChanges) {
    std::ostringstream out;
    ProgressLine line(out, "Decoding", true);
    line.Update(0, 200);
    line.Update(1, 200);  // still 0 %
    line.Update(100, 200);
    line.Update(250, 200);  // clamped
    line.Finish();
    EXPECT_EQ(out.str(), "\rDecoding 0 %\rDecoding 50 %\rDecoding 100 %\n");
}

TEST(ProgressLine, SilentWhenDisabled) {
    std::ostringstream out;
    ProgressLine line(out, "Decoding", false);
    line.Update(10, 20);
    line.Finish();
    EXPECT_TRUE(out.str().empty());
}

TEST(ProgressLine, CommandsShowProgressOnTheErrorStreamOnly) {
    tavrisk::test::TempDir dir;
    const auto frame = test::WriteTestFrame(test::TestFrame{});
    std::vector<uint8_t> stream;
    for (int i = 0; i < 4; ++i) stream.insert(stream.end(), frame.begin(), frame.end());
    const std::string mp2 = dir.File("in.mp2");
    tavrisk::test::WriteBytes(mp2, stream);
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

}  // namespace
}  // namespace tavrisk::mp2dec
