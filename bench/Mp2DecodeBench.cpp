// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding 120 s of our 384 kbit/s six-channel stream to a six-channel WAV, against ffmpeg
// decoding the compatible stereo part of the same file to a stereo WAV.
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "cli/WavFileSink.h"
#include "mp2dec/ProblemLog.h"
#include "mp2dec/StreamDecoder.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr int kSeconds = 120;
constexpr double kGoalRatio = 3.0;

bool DecodeOurs(const std::string& mp2, const std::string& wav) {
    std::ifstream in(mp2, std::ios::binary);
    tavrisk::WavFileSink sink(wav);
    tavrisk::mp2dec::ProblemLog log;
    tavrisk::mp2dec::StreamDecoder::Summary summary;
    const bool decoded = tavrisk::mp2dec::StreamDecoder(false).Decode(in, sink, log, summary);
    return sink.Finish() && decoded && log.ErrorCount() == 0;
}

}  // namespace

int main() {
    using tavrisk::bench::RunQuiet;
    using tavrisk::test::Quote;
    tavrisk::test::TempDir dir;
    const std::string input = dir.File("in.wav");
    const std::string mp2 = dir.File("in.mp2");
    // Six channels of pink noise, encoded by our encoder through the command line.
    if (!RunQuiet("sox -n -r 48000 -b 16 -c 6 " + Quote(input) + " synth " +
                  std::to_string(kSeconds) + " pinknoise gain -10")) {
        std::printf("Mp2Decode ratio: unavailable (sox could not make the input)\n");
        return 1;
    }
    if (!RunQuiet(Quote(tavrisk::test::BinPath("tavrisk-cli")) + " " + Quote(input) + " " +
                  Quote(mp2) +
                  " --engine mp2 --bitrate 384 --rate 48000 --input-rate 48000 --yes")) {
        std::printf("Mp2Decode ratio: unavailable (tavrisk-cli could not encode the input)\n");
        return 1;
    }
    const std::string ours = dir.File("ours.wav");
    const std::string peer = dir.File("peer.wav");
    const double ratio = tavrisk::bench::RunRatioBenchmark(
        "Mp2Decode", [&] { return DecodeOurs(mp2, ours); },
        [&] { return RunQuiet("ffmpeg -v error -y -i " + Quote(mp2) + " " + Quote(peer)); });
    std::printf("Mp2Decode goal: ratio at most %.1f (six channels against ffmpeg's two)\n",
                kGoalRatio);
    return ratio > 0.0 ? 0 : 1;
}
