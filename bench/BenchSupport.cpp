#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/TestSupport.h"

namespace tavrisk::bench {

namespace {

// Keeps the mean wall time of each benchmark by name.
class MeanReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            if (run.benchmark_name().find("ours") != std::string::npos) oursSeconds = seconds;
            if (run.benchmark_name().find("peer") != std::string::npos) peerSeconds = seconds;
        }
    }
    double oursSeconds = 0.0;
    double peerSeconds = 0.0;
};

void Register(const std::string& name, const std::function<bool()>& work, int iterations) {
    benchmark::RegisterBenchmark(name.c_str(),
                                 [work](benchmark::State& state) {
                                     for (auto _ : state) {
                                         if (!work()) {
                                             state.SkipWithError("run failed");
                                             break;
                                         }
                                     }
                                 })
        ->Iterations(iterations)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

}  // namespace

double RunRatioBenchmark(const std::string& label, const std::function<bool()>& ours,
                         const std::function<bool()>& peer, int iterations, double audioSeconds) {
    Register(label + "/ours", ours, iterations);
    Register(label + "/peer", peer, iterations);
    MeanReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::ClearRegisteredBenchmarks();
    if (reporter.oursSeconds <= 0.0 || reporter.peerSeconds <= 0.0) {
        std::printf("%s ratio: unavailable (a run failed)\n", label.c_str());
        return -1.0;
    }
    const double ratio = reporter.oursSeconds / reporter.peerSeconds;
    std::printf("%s ratio: %.2f (ours %.3f s, peer %.3f s)\n", label.c_str(), ratio,
                reporter.oursSeconds, reporter.peerSeconds);
    if (audioSeconds > 0.0) {
        std::printf("%s real-time factor: ours %.1fx, peer %.1fx (%.0f s of audio)\n",
                    label.c_str(), audioSeconds / reporter.oursSeconds,
                    audioSeconds / reporter.peerSeconds, audioSeconds);
    }
    return ratio;
}

BestTimes BestOfBackToBack(const std::function<bool()>& ours, const std::function<bool()>& peer,
                           int rounds) {
    auto time = [](const std::function<bool()>& work) {
        const auto start = std::chrono::steady_clock::now();
        if (!work()) return 0.0;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    BestTimes best;
    for (int round = 0; round < rounds; ++round) {
        const double oursSeconds = time(ours);
        const double peerSeconds = time(peer);
        if (oursSeconds <= 0.0 || peerSeconds <= 0.0) return {};
        best.ours = round == 0 ? oursSeconds : std::min(best.ours, oursSeconds);
        best.peer = round == 0 ? peerSeconds : std::min(best.peer, peerSeconds);
    }
    return best;
}

double LoadAverage() {
    double load = -1.0;
    return getloadavg(&load, 1) == 1 ? load : -1.0;
}

bool RunQuiet(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

int CompareCliOnSixToneWav(
    const std::string& label, const std::string& cliOptions,
    const std::function<std::string(const std::string&, const std::string&)>& peer) {
    constexpr int kSeconds = 600;
    constexpr int kIterations = 3;
    using test::Quote;
    test::TempDir dir;
    const std::string input = Quote(dir.File("in.wav"));
    const std::string make = "sox -n -r 48000 -c 6 -b 16 " + input + " synth " +
                             std::to_string(kSeconds) +
                             " sine 330 sine 470 sine 610 sine 790 sine 930 sine 110"
                             " vol 0.5 tremolo 3 60";
    if (!RunQuiet(make)) {
        std::fprintf(stderr, "cannot make the input with sox\n");
        return 1;
    }
    const std::string ours = Quote(test::BinPath("tavrisk-cli")) + " " + input + " " +
                             Quote(dir.File("ours.wav")) + " " + cliOptions + " --yes";
    const std::string theirs = peer(input, Quote(dir.File("peer.wav")));
    const double ratio = RunRatioBenchmark(
        label, [&] { return RunQuiet(ours); }, [&] { return RunQuiet(theirs); }, kIterations,
        kSeconds);
    return ratio > 0.0 ? 0 : 1;
}

}  // namespace tavrisk::bench
