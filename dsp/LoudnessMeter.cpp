// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/LoudnessMeter.h"

#include <algorithm>
#include <cmath>

namespace tavrisk {

namespace {

// How much each column L, R, C, LFE, LS, RS counts: the LFE not at all, the surrounds
// +1.5 dB (BS.1770's 1.41).
constexpr std::array<double, LoudnessMeter::kChannels> kWeightOfColumn = {1.0, 1.0,  1.0,
                                                                          0.0, 1.41, 1.41};

}  // namespace

double LoudnessFigures::TruePeakDbtp() const {
    return *std::max_element(truePeakDbtp.begin(), truePeakDbtp.end());
}

double DecibelsOf(double factor) {
    return factor > 0.0 ? 20.0 * std::log10(factor) : LoudnessFigures::kSilent;
}

bool LoudnessMeter::Start(int sampleRate) {
    started = sampleRate > 0;
    if (!started) return false;
    loudness.Start(sampleRate, kWeightOfColumn);
    truePeaks.Start(sampleRate);
    return true;
}

void LoudnessMeter::Add(const std::array<const float*, kChannels>& channels, std::size_t count) {
    if (!started || count == 0) return;
    loudness.Add(channels, count);
    truePeaks.Add(channels, count);
}

std::array<double, LoudnessMeter::kChannels> LoudnessMeter::TruePeaks() const {
    return started ? truePeaks.Peaks() : std::array<double, kChannels>{};
}

LoudnessFigures LoudnessMeter::Figures() const {
    LoudnessFigures figures;
    if (!started) return figures;
    figures.integratedLufs = loudness.IntegratedLufs();
    figures.rangeLu = loudness.RangeLu();
    const std::array<double, kChannels> peaks = TruePeaks();
    for (int c = 0; c < kChannels; ++c) figures.truePeakDbtp[c] = DecibelsOf(peaks[c]);
    return figures;
}

}  // namespace tavrisk
