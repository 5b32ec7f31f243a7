// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/HeaderLookups.h"

namespace tavrisk::mp2 {

const std::array<std::array<int, 16>, 3> kBitrateTable = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
}};

const std::array<double, 4> kSamplingFrequencyKhz = {44.1, 48.0, 32.0, 0.0};

int BitrateIndex(int layer, int kbps) {
    if (layer >= 1 && layer <= 3) {
        const auto& row = kBitrateTable[layer - 1];
        for (int i = 0; i < 15; ++i) {
            if (row[i] == kbps) return i;
        }
    }
    return -1;
}

int SmpFrqIndex(long hz) {
    switch (hz) {
        case 44100:
            return 0;
        case 48000:
            return 1;
        case 32000:
            return 2;
        case 22050:
            return 16;
        case 24000:
            return 17;
        case 16000:
            return 18;
        default:
            return -1;
    }
}

long SampleRateOfCode(int code) {
    for (long hz : {44100L, 48000L, 32000L, 22050L, 24000L, 16000L}) {
        if (SmpFrqIndex(hz) == code) return hz;
    }
    return 0;
}

}  // namespace tavrisk::mp2
