// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "dsp/LoudnessMeter.h"
#include "dsp/LoudnessTarget.h"

namespace tavrisk {

// A job's loudness by EBU R 128: its input as routed, its output as written (none when the
// job only measured), and the gain loudness normalisation chose.
struct JobLoudness {
    std::string inputName;
    std::string outputName;
    LoudnessFigures input;
    std::optional<LoudnessFigures> output;
    LoudnessNormalization normalization;
    std::optional<LoudnessGain> gain;  // with loudness normalisation

    // "Loudness -21.4 LUFS, range 14.2 LU, true peak -0.6 dBTP" of the output (the input
    // when nothing was written); a normalised job adds what was measured and the gain.
    std::string SummaryLine() const {
        const LoudnessFigures& shown = output ? *output : input;
        std::string line = "Loudness " + FormatLevel(shown.integratedLufs) + " LUFS, range " +
                           FormatLevel(shown.rangeLu) + " LU, true peak " +
                           FormatLevel(shown.TruePeakDbtp()) + " dBTP";
        if (gain) {
            line += " (measured " + FormatLevel(input.integratedLufs) + " LUFS, gain " +
                    (gain->gainDb >= 0.0 ? "+" : "") + FormatLevel(gain->gainDb) + " dB)";
        }
        return line;
    }
};

}  // namespace tavrisk
