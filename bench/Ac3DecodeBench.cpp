// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding a 10-minute 5.1 48 kHz 448 kbit/s AC-3 stream into the WAV engine, against
// ffmpeg's own decode of the same file to WAV.
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/TestSupport.h"

int main() {
    using namespace tavrisk;
    constexpr double kSeconds = 600.0;
    constexpr int kIterations = 3;
    test::TempDir dir;
    const std::string input = dir.File("film.ac3");
    if (!test::MakeAc3(input, {.rate = 48000, .seconds = kSeconds, .kbps = 448})) {
        std::fprintf(stderr, "cannot make the AC-3 input with ffmpeg\n");
        return 1;
    }
    const std::string ours = dir.File("ours.wav");
    const std::string peer = dir.File("peer.wav");
    const double ratio = bench::RunRatioBenchmark(
        "AC-3 to WAV",
        [&] {
            return bench::RunQuiet(test::Quote(test::BinPath("tavrisk-cli")) + " " +
                                   test::Quote(input) + " " + test::Quote(ours) +
                                   " --engine wav --yes");
        },
        [&] {
            return bench::RunQuiet("ffmpeg -v error -y -i " + test::Quote(input) + " " +
                                   test::Quote(peer));
        },
        kIterations, kSeconds);
    return ratio > 0.0 ? 0 : 1;
}
