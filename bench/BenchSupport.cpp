// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

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

namespace {

// Processor time of the child processes waited for so far, user and system.
double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timing {
    double wall = 0.0;
    double cpu = 0.0;
};

Timing Time(const std::function<bool()>& work) {
    const double cpuStart = ChildrenCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (!work()) return {};
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            ChildrenCpuSeconds() - cpuStart};
}

}  // namespace

BestTimes BestOfBackToBack(const std::function<bool()>& ours, const std::function<bool()>& peer,
                           int rounds) {
    BestTimes best;
    for (int round = 0; round < rounds; ++round) {
        const Timing oursTime = Time(ours);
        const Timing peerTime = Time(peer);
        if (oursTime.wall <= 0.0 || peerTime.wall <= 0.0) return {};
        const bool first = round == 0;
        best.ours = first ? oursTime.wall : std::min(best.ours, oursTime.wall);
        best.peer = first ? peerTime.wall : std::min(best.peer, peerTime.wall);
        best.oursCpu = first ? oursTime.cpu : std::min(best.oursCpu, oursTime.cpu);
        best.peerCpu = first ? peerTime.cpu : std::min(best.peerCpu, peerTime.cpu);
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

bool MakeSixToneWav(const std::string& path, int seconds) {
    return RunQuiet("sox -n -r 48000 -c 6 -b 16 " + test::Quote(path) + " synth " +
                    std::to_string(seconds) +
                    " sine 330 sine 470 sine 610 sine 790 sine 930 sine 110"
                    " vol 0.5 tremolo 3 60");
}

int CompareCliOnSixToneWav(
    const std::string& label, const std::string& cliOptions,
    const std::function<std::string(const std::string&, const std::string&)>& peer) {
    constexpr int kSeconds = 600;
    constexpr int kIterations = 3;
    using test::Quote;
    test::TempDir dir;
    const std::string input = Quote(dir.File("in.wav"));
    if (!MakeSixToneWav(dir.File("in.wav"), kSeconds)) {
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
