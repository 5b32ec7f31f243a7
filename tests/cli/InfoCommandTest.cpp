// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/Mp2Commands.h"
#include "tests/mp2dec/TestFrameWriter.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::TempDir;

// Hand-made frames of 112 kbit/s whose data continues in 700-byte extension frames, with
// two multilingual channels, in an elementary file.
TEST(InfoCommand, ShowsTheExtensionBitStreamTheMatrixProcedureAndMultilingualChannels) {
    constexpr int kFrames = 10;
    mp2dec::test::TestFrame frame;
    frame.codes = {{{40, 10, 52}, {31, 7, 2}, {5, 50, 62}, {60, 33, 0}, {12, 13, 14}}};
    frame.bitrateIndex = 7;
    frame.extensionFrameBytes = 700;
    frame.dematrixProcedure = 1;
    frame.multiLingual = 2;
    const auto bytes = mp2dec::test::WriteTestFrame(frame);
    std::vector<uint8_t> stream;
    for (int i = 0; i < kFrames; ++i) stream.insert(stream.end(), bytes.begin(), bytes.end());
    TempDir dir;
    const std::string path = dir.File("split.mp2");
    test::WriteBytes(path, stream);

    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand({path}, out, err), 0) << out.str() << err.str();
    // 700 bytes every 24 ms: 233 kbit/s.
    EXPECT_EQ(out.str(), path +
                             ":\n  configuration 3/2, LFE yes, 48000 Hz\n"
                             "  bitrate 112 kbit/s (base frame), extension bit stream 233 "
                             "kbit/s, 345 kbit/s in all\n"
                             "  matrix procedure 1\n"
                             "  multilingual channels 2 (not decoded)\n"
                             "  duration 0.240 s; 10 frame(s), 10 with multichannel extension, 0 "
                             "damaged; 0 error(s), 1 warning(s)\n");
    EXPECT_EQ(RunCheckCommand({path}, out, err, false), 0) << out.str();
    EXPECT_EQ(RunDecodeCommand({path, dir.File("split.wav")}, out, err, false), 0) << err.str();
    EXPECT_EQ(test::ReadWav(dir.File("split.wav")).Frames(), kFrames * 1152u);
}

// info names a limited centre and a second stereo programme; decode writes the second
// programme alone when asked, and refuses a stream without one.
TEST(InfoCommand, NamesALimitedCentreAndASecondProgrammeThatDecodeWritesWhenAsked) {
    TempDir dir;
    const std::string path = dir.File("programmes.mp2"), wav = dir.File("programmes.wav");
    for (const int surround : {2, 3}) {
        mp2dec::test::TestFrame frame;
        frame.center = surround == 3 ? 1 : 3;  // 3: of limited bandwidth
        frame.surround = surround;
        const auto bytes = mp2dec::test::WriteTestFrame(frame);
        test::WriteBytes(path, bytes);
        std::ostringstream out, err;
        EXPECT_EQ(RunInfoCommand({path}, out, err), 0) << err.str();
        EXPECT_NE(out.str().find(surround == 3 ? "configuration 3/0 and a second stereo programme"
                                               : "configuration 3/2 (centre of limited bandwidth)"),
                  std::string::npos)
            << out.str();
        EXPECT_EQ(RunDecodeCommand({path, wav, "--programme", "2"}, out, err, false) == 0,
                  surround == 3);
        EXPECT_EQ(std::filesystem::exists(wav) ? test::ReadWav(wav).channels : 0,
                  surround == 3 ? 2 : 0);
    }
}

}  // namespace
}  // namespace tavrisk
