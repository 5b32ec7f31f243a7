// SPDX-License-Identifier: GPL-3.0-or-later
// What measuring the loudness adds to a job: the same 10-minute six-channel WAV -> MP2 job
// with the measurement and without it (--no-loudness), back to back, best of five each.
// Prints one Markdown table row a job (the README's table): the ratio of the wall-clock
// times and of the processor times (user and system), and the load average when it started.
// A plain job measures one point (its output is its input); with --normalize the input and
// the output are measured.
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "tests/support/TestSupport.h"

int main() {
    using tavrisk::test::Quote;
    constexpr int kSeconds = 600;
    constexpr int kRounds = 5;
    tavrisk::test::TempDir dir;
    const std::string input = dir.File("in.wav");
    if (!tavrisk::bench::MakeSixToneWav(input, kSeconds)) {
        std::fprintf(stderr, "cannot make the input with sox\n");
        return 1;
    }
    struct Job {
        const char* work;
        const char* options;
    } const jobs[] = {
        {"10-minute six-channel WAV to 384 kbit/s MP2", "--engine mp2"},
        {"the same with `--normalize` (input and output measured)", "--engine mp2 --normalize"},
    };
    std::printf(
        "| Work | Ratio (measured / not) | Measured | Not measured | Processor time ratio | "
        "Load (1 min) |\n|---|---|---|---|---|---|\n");
    int failures = 0;
    for (const Job& job : jobs) {
        const std::string command = Quote(tavrisk::test::BinPath("tavrisk-cli")) + " " +
                                    Quote(input) + " " + Quote(dir.File("out.mp2")) + " " +
                                    job.options + " --yes";
        const double load = tavrisk::bench::LoadAverage();
        const tavrisk::bench::BestTimes best = tavrisk::bench::BestOfBackToBack(
            [&] { return tavrisk::bench::RunQuiet(command); },
            [&] { return tavrisk::bench::RunQuiet(command + " --no-loudness"); }, kRounds);
        if (!best.Valid()) {
            std::printf("| %s | failed | | | | %.1f |\n", job.work, load);
            ++failures;
            continue;
        }
        std::printf("| %s | %.3f | %.3f s | %.3f s | %.3f (%.2f s / %.2f s) | %.1f |\n", job.work,
                    best.ours / best.peer, best.ours, best.peer, best.oursCpu / best.peerCpu,
                    best.oursCpu, best.peerCpu, load);
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
