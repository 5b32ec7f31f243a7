// SPDX-License-Identifier: GPL-3.0-or-later
// A 10-minute six-channel 48 kHz WAV converted to a 44.1 kHz WAV by the command line (the
// default libsoxr conversion), against sox converting the same file.
#include <string>

#include "bench/BenchSupport.h"

int main() {
    return tavrisk::bench::CompareCliOnSixToneWav(
        "Resample 48000 -> 44100 Hz 10 min 6ch WAV", "--engine wav --rate 44100",
        [](const std::string& in, const std::string& out) {
            return "sox " + in + " -r 44100 " + out;
        });
}
