#pragma once

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace tavrisk::mp2dec::test {

// Runs the decode command; returns its exit status and fills `messages` with its output.
int Decode(const std::vector<std::string>& args, std::string* messages = nullptr);
// Runs the check command.
int Check(const std::string& path, std::string* report);

// Difference between two signals after the best alignment within +-maxLag samples.
struct Match {
    int lag = 0;
    double maxDifference = 0.0;
    double snrDb = 0.0;
};
Match Compare(const std::vector<double>& ours, const std::vector<double>& reference, int maxLag);

// Decodes the compatible pair of `mp2` with ffmpeg and with us (into `dir`) and expects
// every channel to match within 1 LSB or 90 dB SNR, without delay. `label` names the case in
// the printed figures.
void ExpectPairMatchesFfmpeg(const std::string& mp2, const tavrisk::test::TempDir& dir,
                             const std::string& label);

// SNR of `decoded` against a pure tone of `frequency` fitted to it (amplitude and phase),
// over the samples from `skip` on.
double ToneSnrDb(const std::vector<double>& decoded, double frequency, int rate, std::size_t skip);

}  // namespace tavrisk::mp2dec::test
