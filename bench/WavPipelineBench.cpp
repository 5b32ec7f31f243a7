// SPDX-License-Identifier: GPL-3.0-or-later
// A 10-minute six-channel 48 kHz WAV through normalisation and dynamic range processing
// into the six-channel WAV engine, against sox normalising the same file.
#include <string>

#include "bench/BenchSupport.h"

int main() {
    return tavrisk::bench::CompareCliOnSixToneWav(
        "WavPipeline normalize+drp 10 min 6ch 48 kHz", "--engine wav --normalize --drp",
        [](const std::string& in, const std::string& out) {
            return "sox " + in + " " + out + " gain -n";
        });
}
