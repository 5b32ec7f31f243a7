// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <limits>

#include "dsp/GatedLoudness.h"
#include "dsp/TruePeakMeter.h"

namespace tavrisk {

// What a loudness measurement gives, by EBU R 128: the programme's integrated loudness
// (LUFS), its loudness range (LU) and the true peak of each channel (dBTP, in column order
// L, R, C, LFE, LS, RS). Silence has no loudness: -infinity.
struct LoudnessFigures {
    static constexpr int kChannels = 6;
    static constexpr double kSilent = -std::numeric_limits<double>::infinity();

    double integratedLufs = kSilent;
    double rangeLu = 0.0;
    std::array<double, kChannels> truePeakDbtp{kSilent, kSilent, kSilent,
                                               kSilent, kSilent, kSilent};

    // The highest true peak of the six channels.
    double TruePeakDbtp() const;
};

// Measures six channels in column order L, R, C, LFE, LS, RS, full scale +-1.0, with the
// standard's channel weights (the LFE is not counted, the surrounds weigh +1.5 dB). Frames
// are added run by run; the figures can be read at any time.
class LoudnessMeter {
  public:
    static constexpr int kChannels = LoudnessFigures::kChannels;

    // A new measurement at `sampleRate` Hz; false for a rate that is not above zero.
    bool Start(int sampleRate);
    bool Started() const { return started; }
    // Ends the measurement: nothing more is measured until the next Start.
    void Stop() { started = false; }
    // `count` samples of each channel.
    void Add(const std::array<const float*, kChannels>& channels, std::size_t count);
    LoudnessFigures Figures() const;
    // The true peak of each channel so far, as a linear factor of full scale.
    std::array<double, kChannels> TruePeaks() const;

  private:
    bool started = false;
    GatedLoudness loudness;
    TruePeakMeter truePeaks;
};

// A level in dB of a linear factor (-infinity for 0).
double DecibelsOf(double factor);

}  // namespace tavrisk
