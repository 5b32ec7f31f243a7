// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "tests/mp2dec/DecoderTestSupport.h"

namespace tavrisk::mp2dec::test {
namespace {

using tavrisk::test::HaveProgram;
using tavrisk::test::Quote;
using tavrisk::test::RunCommand;
using tavrisk::test::TempDir;

struct PeerCase {
    int rate;
    int kbps;
    const char* mode;  // twolame channel mode
    int channels;
};

// Decodes a twolame file with our decoder and with ffmpeg and compares every channel.
void ExpectMatchesFfmpeg(const PeerCase& c) {
    if (!HaveProgram("twolame") || !HaveProgram("ffmpeg") || !HaveProgram("sox"))
        GTEST_SKIP() << "twolame, ffmpeg or sox missing";
    TempDir dir;
    const std::string input = dir.File("in.wav");
    const std::string mp2 = dir.File("in.mp2");
    // A chord plus noise, so that many subbands and quantisers are in use.
    ASSERT_EQ(RunCommand("sox -n -r " + std::to_string(c.rate) + " -c " +
                         std::to_string(c.channels) + " -b 16 " + Quote(input) +
                         " synth 2 sine 220 sine 1330 sine 5100 pinknoise gain -6")
                  .exitCode,
              0);
    ASSERT_EQ(RunCommand("twolame -b " + std::to_string(c.kbps) + " -m " + c.mode + " " +
                         Quote(input) + " " + Quote(mp2))
                  .exitCode,
              0);
    ExpectPairMatchesFfmpeg(
        mp2, dir, std::to_string(c.rate) + " Hz " + std::to_string(c.kbps) + " kbit/s " + c.mode);
}

TEST(CompatibleDecode, MatchesFfmpegOnTwolameFiles) {
    // Tables a and b (48 / 44.1 kHz at high rates), c and d (low rates), joint stereo, mono.
    for (const PeerCase& c :
         {PeerCase{48000, 384, "s", 2}, PeerCase{44100, 384, "s", 2}, PeerCase{44100, 256, "j", 2},
          PeerCase{48000, 64, "s", 2}, PeerCase{32000, 64, "s", 2}, PeerCase{32000, 192, "d", 2},
          PeerCase{48000, 128, "m", 1}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.kbps) + " " + c.mode);
        ExpectMatchesFfmpeg(c);
    }
}

}  // namespace
}  // namespace tavrisk::mp2dec::test
