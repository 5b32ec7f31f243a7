// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "dsp/LoudnessMeter.h"

namespace tavrisk {

// What "Normalize" raises: each channel group's sample peak to its slider's level, or the
// whole mix's integrated loudness to a target, under a true-peak ceiling.
enum class NormalizeKind { kPeak, kLoudness };

struct LoudnessNormalization {
    static constexpr double kDefaultTargetLufs = -23.0;
    static constexpr double kDefaultCeilingDbtp = -1.0;
    // The values a target and a ceiling may take.
    static constexpr double kLowestTargetLufs = -70.0;
    static constexpr double kHighestTargetLufs = -5.0;
    static constexpr double kLowestCeilingDbtp = -20.0;
    static constexpr double kHighestCeilingDbtp = 0.0;

    NormalizeKind kind = NormalizeKind::kPeak;
    double targetLufs = kDefaultTargetLufs;
    double ceilingDbtp = kDefaultCeilingDbtp;

    bool operator==(const LoudnessNormalization&) const = default;
};

// The one gain loudness normalisation applies to every channel of a measured programme:
// the target's distance from its loudness, lowered where the true peak would pass the
// ceiling. No limiter follows it, so the ceiling holds by the gain alone.
struct LoudnessGain {
    double gainDb = 0.0;
    double reachedLufs = LoudnessFigures::kSilent;
    // The ceiling lowered the gain: the target is not reached.
    bool limitedByCeiling = false;
    // Nothing to measure (silence): the gain stays 0 dB.
    bool silent = false;

    static LoudnessGain Plan(const LoudnessFigures& measured,
                             const LoudnessNormalization& normalization);
    double Factor() const;
    // Why the target was not reached, for the job's warning; empty when it was.
    std::string Shortfall(const LoudnessNormalization& normalization) const;
};

// A figure as the summaries show it: one decimal, a true minus sign, "-inf" for silence.
std::string FormatLevel(double value);

}  // namespace tavrisk
