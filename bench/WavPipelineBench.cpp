// A 10-minute six-channel 48 kHz WAV through normalisation and dynamic range processing
// into the six-channel WAV engine, against sox normalising the same file.
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr int kSeconds = 600;

}  // namespace

int main() {
    using tavrisk::test::Quote;
    tavrisk::test::TempDir dir;
    const std::string input = dir.File("in.wav");
    // A distinct tone per channel, with some noise so that the curves have work to do.
    const std::string make = "sox -n -r 48000 -c 6 -b 16 " + Quote(input) + " synth " +
                             std::to_string(kSeconds) +
                             " sine 330 sine 470 sine 610 sine 790 sine 930 sine 110"
                             " vol 0.5 tremolo 3 60";
    if (!tavrisk::bench::RunQuiet(make)) {
        std::fprintf(stderr, "cannot make the input with sox\n");
        return 1;
    }
    const std::string cli = Quote(tavrisk::test::BinPath("tavrisk-cli"));
    const std::string ours = cli + " " + Quote(input) + " " + Quote(dir.File("ours.wav")) +
                             " --engine wav --normalize --drp --yes";
    const std::string peer = "sox " + Quote(input) + " " + Quote(dir.File("peer.wav")) + " gain -n";
    const double ratio = tavrisk::bench::RunRatioBenchmark(
        "WavPipeline normalize+drp 10 min 6ch 48 kHz",
        [&] { return tavrisk::bench::RunQuiet(ours); },
        [&] { return tavrisk::bench::RunQuiet(peer); });
    return ratio > 0.0 ? 0 : 1;
}
