// SPDX-License-Identifier: GPL-3.0-or-later
// A 10-minute VOB (MPEG-2 video with a 5.1 AC-3 track) to WAV through the filter graph,
// against ffmpeg's extraction of the same track to 16-bit WAV.
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "tests/graphjob/FilmInputs.h"
#include "tests/support/TestSupport.h"

int main() {
    using namespace tavrisk;
    constexpr double kSeconds = 600.0;
    constexpr int kIterations = 3;
    test::TempDir dir;
    const std::string input = dir.File("film.vob");
    if (!test::MakeFilm(input, test::FilmKind::kVob, kSeconds)) {
        std::fprintf(stderr, "cannot make the VOB input with ffmpeg\n");
        return 1;
    }
    const std::string ours = dir.File("ours.wav");
    const std::string peer = dir.File("peer.wav");
    const double ratio = bench::RunRatioBenchmark(
        "VOB to WAV through the graph",
        [&] {
            return bench::RunQuiet(test::Quote(test::BinPath("tavrisk-cli")) + " --graph " +
                                   test::Quote(input) + " " + test::Quote(ours) +
                                   " --engine wav --yes");
        },
        [&] {
            return bench::RunQuiet("ffmpeg -v error -y -i " + test::Quote(input) +
                                   " -map 0:a -c:a pcm_s16le " + test::Quote(peer));
        },
        kIterations, kSeconds);
    return ratio > 0.0 ? 0 : 1;
}
