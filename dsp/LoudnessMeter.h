// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <memory>

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
// standard's channel weights (the LFE is not counted, the surrounds weigh +1.5 dB), through
// libebur128. Frames are added run by run; the figures can be read at any time.
class LoudnessMeter {
  public:
    static constexpr int kChannels = LoudnessFigures::kChannels;

    LoudnessMeter();
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // A new measurement at `sampleRate` Hz; false when the library cannot make one.
    bool Start(int sampleRate);
    bool Started() const { return state != nullptr; }
    // Ends the measurement: nothing more is measured until the next Start.
    void Stop();
    // `count` interleaved frames of six channels.
    void Add(const float* frames, std::size_t count);
    LoudnessFigures Figures() const;
    // The true peak of each channel so far, as a linear factor of full scale.
    std::array<double, kChannels> TruePeaks() const;

  private:
    // The library's measurement, destroyed with it.
    struct State;
    std::unique_ptr<State> state;
};

// A level in dB of a linear factor (-infinity for 0).
double DecibelsOf(double factor);

}  // namespace tavrisk
