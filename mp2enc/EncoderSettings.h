// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dsp/ChannelConfiguration.h"

namespace tavrisk::mp2 {

using tavrisk::ChannelConfiguration;

// Everything a run of the encoder is configured with.
struct EncoderSettings {
    int sampleRate = 48000;  // Hz: 32000, 44100 or 48000
    ChannelConfiguration channels;
    int bitrateKbps = 384;       // of the base frame, as its header states
    int totalBitrateKbps = 384;  // of the whole stream
    bool crc = false;            // the header's error protection
    int ancillaryBytes = 2;      // reserved at each frame's end
    bool ancillaryText = false;  // the reserved bytes carry the ancillary text
    int dematrixChoice = 0;      // procedure 0 to 3; -1 picks one at random per frame
    int tcAllocChoice = -2;      // -2 adaptive, -1 random, else the fixed allocation
    int dynCrossChoice = 0;      // dynamic cross-talk: only 0 is written
    bool limitedCentre = false;  // the centre is carried below subband 12 only
    int verbosity = 1;           // above 1 the log receives traces per frame, above 2 per subband
};

}  // namespace tavrisk::mp2
