// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/FrameLength.h"

namespace tavrisk::mp2 {

void FrameLength::Init(int totalBitrateKbps, double frequencyKhz) {
    const double slots = (kSamplesPerFrame / frequencyKhz) * (totalBitrateKbps / kBitsPerSlot);
    whole = static_cast<int>(slots);
    frac = slots - whole;
    slotLag = -frac;
}

int FrameLength::NextPadding() {
    if (frac == 0.0) return 0;
    if (frac - 1 < slotLag) {
        slotLag -= frac;
        return 0;
    }
    slotLag += 1 - frac;
    return 1;
}

}  // namespace tavrisk::mp2
