// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace tavrisk::bench {

// Times our work against a peer tool on the same input in the same run, with Google
// Benchmark (a few iterations each, interleaved order not needed: both run once per
// iteration), then prints "<label> ratio: X.XX (ours A s, peer B s)" where X = A / B; given
// the length of the audio, also the real-time factor of each (audio seconds per second).
// Returns the ratio. `ours` and `peer` each do one complete run and return false on failure.
double RunRatioBenchmark(const std::string& label, const std::function<bool()>& ours,
                         const std::function<bool()>& peer, int iterations = 3,
                         double audioSeconds = 0.0);

// The best time of each of two commands, in seconds (wall clock, and the processor time of
// the processes it ran, user and system, which the machine's load changes less); zero for
// one that failed.
struct BestTimes {
    double ours = 0.0;
    double peer = 0.0;
    double oursCpu = 0.0;
    double peerCpu = 0.0;
    bool Valid() const { return ours > 0.0 && peer > 0.0; }
};

// Runs `ours` then `peer` back to back `rounds` times (so that both meet the same load) and
// keeps the best time of each. Each does one complete run and returns false on failure.
BestTimes BestOfBackToBack(const std::function<bool()>& ours, const std::function<bool()>& peer,
                           int rounds = 3);

// The machine's load average over the last minute; -1 when unknown.
double LoadAverage();

// Runs a shell command quietly; true when it exits with status 0.
bool RunQuiet(const std::string& command);

// Makes `path`: `seconds` of six-channel 16-bit 48 kHz WAV with sox, a distinct tone per
// channel with some tremolo (so that the curves have work to do). False when sox fails.
bool MakeSixToneWav(const std::string& path, int seconds);

// Runs RunRatioBenchmark on a 10-minute six-channel 16-bit 48 kHz WAV made with sox (a
// distinct tone per channel, with some tremolo so that the curves have work to do): ours is
// `tavrisk-cli IN OUT <cliOptions> --yes`, the peer the command `peer(IN, OUT)` gives (both
// quoted). Returns the process exit status: 0 when both ran.
int CompareCliOnSixToneWav(
    const std::string& label, const std::string& cliOptions,
    const std::function<std::string(const std::string&, const std::string&)>& peer);

}  // namespace tavrisk::bench
