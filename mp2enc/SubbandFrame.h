// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mp2enc/MpegHeader.h"
#include "mp2enc/PsychoacousticModel.h"

namespace tavrisk::mp2 {

// Everything the encoder computes per frame between the filterbank and the bit stream,
// indexed by channel slot (Lo, Ro, C, LS, RS, L, R, ...).
struct SubbandFrame {
    double samples[kChannelSlots][kParts][kGranules][kSubbands];
    int scaleIndex[kChannelSlots][kParts][kSubbands];
    double maxScale[kPsySlots][kSubbands];
    int scfsi[kSlotsWithScfsi][kSubbands];
    int bitAlloc[kSlotsWithScfsi][kSubbands];
    double signalToMask[kPsySlots][kSubbands];
    double minMask[kPsySlots][kSubbands];
    double spike[kPsySlots][kSubbands];
};

}  // namespace tavrisk::mp2
