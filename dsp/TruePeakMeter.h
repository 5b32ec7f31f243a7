// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace tavrisk {

// The true peak of each of six channels by ITU-R BS.1770: the highest magnitude of the signal
// oversampled four times (twice from 96 kHz, not at all from 192 kHz) by a polyphase
// windowed-sinc interpolator of twelve taps a phase. The original samples are one phase of
// the oversampled signal, so the true peak is never below the sample peak.
//
// Interpolating is the cost of the measurement, so a run of a channel is interpolated only
// when it can raise the peak: no interpolated value exceeds the run's sample peak (with the
// filter's history) times the largest sum of the magnitudes of a phase's taps. The filter's
// history is kept in every case, so the figures are those of interpolating every sample.
class TruePeakMeter {
  public:
    static constexpr int kChannels = 6;
    static constexpr int kTapsPerPhase = 12;

    // A new measurement at `sampleRate` Hz (any rate above zero).
    void Start(int sampleRate);
    // `count` samples of each channel, full scale +-1.0.
    void Add(const std::array<const float*, kChannels>& channels, std::size_t count);
    // The true peak of each channel so far, as a linear factor of full scale.
    std::array<double, kChannels> Peaks() const;

    // The interpolated phases (the original samples not counted) for `factor` times
    // oversampling, and the bound on their gain.
    struct Phases {
        std::vector<std::array<float, kTapsPerPhase>> taps;
        float largestGain = 1.0f;
    };
    static Phases MakePhases(int factor);

  private:
    static constexpr std::size_t kHistory = kTapsPerPhase - 1;
    // The outputs of a run interpolated from its channel's last samples and its own first
    // ones: a whole number of the kernels' vectors, at least the history.
    static constexpr std::size_t kSeamOutputs = 16;

    void AddChannel(int channel, const float* samples, std::size_t count);

    bool started = false;
    Phases phases;
    // Each channel's last samples.
    std::array<std::array<float, kHistory>, kChannels> history{};
    std::array<float, kChannels> peak{};
};

}  // namespace tavrisk
