// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "mp2enc/EncoderLog.h"
#include "mp2enc/EncoderSettings.h"

namespace tavrisk::mp2 {

// The options of the MP2 engine's argument vector, before the stream configuration is fixed.
struct EncoderOptions {
    int layer = 2;
    int mode = 0;
    int modeExt = 0;
    int emphasis = 0;
    int copyright = 0;
    int original = 0;
    int errorProtection = 0;
    int compatibleBitrate = 384;  // B: the header's bitrate
    int totalBitrate = 384;       // b: the frame length
    int config = 0;               // C: front x 100 + surround x 10; 0 keeps 3/2 with LFE
    int lfe = 0;
    int mcPredictionOn = 0;
    int ancillaryText = 0;
    int nAdBytes = 2;
    int samplingFrequency = 1;  // header code
    int verbosity = 1;
    int centerLimited = 0;
    int dematrixProcedure = 0;
    int dematrixChoice = 0;  // -1: random per frame
    int tcAllocChoice = -2;  // -2 adaptive, -1 random, else fixed
    int dynCrossChoice = 0;
    int dynCrossLRChoice = 0;
    std::string inputPath;
    std::string outputPath;
};

// Parses argv[1..argc-1] into `options`. Puts every refusal into `log` as an error and
// goes on; returns false when any error occurred or no input path was given.
bool ParseOptions(int argc, const char* const* argv, EncoderOptions& options, EncoderLog& log);

// The encoder's settings the options ask for; the options the encoder does not honour (layer,
// mode, emphasis, copyright, prediction ...) are left out.
EncoderSettings SettingsFromOptions(const EncoderOptions& options);

}  // namespace tavrisk::mp2
