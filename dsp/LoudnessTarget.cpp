// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/LoudnessTarget.h"

#include <cmath>
#include <cstdio>

namespace tavrisk {

namespace {

constexpr const char* kMinus = "\u2212";

}  // namespace

LoudnessGain LoudnessGain::Plan(const LoudnessFigures& measured,
                                const LoudnessNormalization& normalization) {
    LoudnessGain plan;
    if (!std::isfinite(measured.integratedLufs)) {
        plan.silent = true;
        return plan;
    }
    plan.gainDb = normalization.targetLufs - measured.integratedLufs;
    const double peak = measured.TruePeakDbtp();
    if (std::isfinite(peak) && peak + plan.gainDb > normalization.ceilingDbtp) {
        plan.gainDb = normalization.ceilingDbtp - peak;
        plan.limitedByCeiling = true;
    }
    plan.reachedLufs = measured.integratedLufs + plan.gainDb;
    return plan;
}

double LoudnessGain::Factor() const {
    return std::pow(10.0, gainDb / 20.0);
}

std::string LoudnessGain::Shortfall(const LoudnessNormalization& normalization) const {
    if (silent) {
        return "The input has no measurable loudness (it is silent): it was not normalised to " +
               FormatLevel(normalization.targetLufs) + " LUFS.";
    }
    if (!limitedByCeiling) return "";
    return "The true-peak ceiling of " + FormatLevel(normalization.ceilingDbtp) +
           " dBTP limits the gain to " + (gainDb >= 0.0 ? "+" : "") + FormatLevel(gainDb) +
           " dB: the output reaches " + FormatLevel(reachedLufs) + " LUFS, not the target of " +
           FormatLevel(normalization.targetLufs) + " LUFS.";
}

std::string FormatLevel(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0.0 ? std::string(kMinus) + "inf" : "inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::fabs(value));
    // A value that rounds to 0.0 has no sign.
    const bool negative = value < 0.0 && std::string(text) != "0.0";
    return (negative ? std::string(kMinus) : std::string()) + text;
}

}  // namespace tavrisk
