// SPDX-License-Identifier: GPL-3.0-or-later
// What measuring the loudness adds to a WAV -> MP2 job: the same 10-minute six-channel job
// with the measurement (ours) and without it (--no-loudness, the peer).
#include <string>

#include "bench/BenchSupport.h"
#include "tests/support/TestSupport.h"

int main() {
    const std::string cli = tavrisk::test::Quote(tavrisk::test::BinPath("tavrisk-cli"));
    return tavrisk::bench::CompareCliOnSixToneWav(
        "LoudnessCost WAV -> MP2 measured / not measured, 10 min 6ch 48 kHz", "--engine mp2",
        [cli](const std::string& in, const std::string& out) {
            return cli + " " + in + " " + out + " --engine mp2 --no-loudness --yes";
        });
}
