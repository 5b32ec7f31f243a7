#include "mp2enc/HeaderLookups.h"

namespace tavrisk::mp2 {

const std::array<std::array<int, 16>, 3> kBitrateTable = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
}};

const std::array<double, 4> kSamplingFrequencyKhz = {44.1, 48.0, 32.0, 0.0};

int BitrateIndex(int layer, int kbps, std::FILE* err) {
    if (layer >= 1 && layer <= 3) {
        const auto& row = kBitrateTable[layer - 1];
        for (int i = 0; i < 15; ++i) {
            if (row[i] == kbps) return i;
        }
    }
    std::fprintf(err, "BitrateIndex: %d (layer %d) is not a legal bitrate\n", kbps, layer);
    return -1;
}

int SmpFrqIndex(long hz, std::FILE* err) {
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
            std::fprintf(err, "SmpFrqIndex: %ld is not a legal sample rate\n", hz);
            return -1;
    }
}

}  // namespace tavrisk::mp2
