// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2dec/FrameContent.h"

namespace tavrisk::mp2dec {

// Brings the 12 LFE samples of each frame (one per 96 output samples) back to the full
// rate with a windowed-sinc interpolator. Its delay equals the delay of the subband path
// (481 samples), so the LFE stays aligned with the main channels; that delay is also what
// lets it work frame by frame, since it needs at most the current and the previous frame.
class LfeInterpolator {
  public:
    static constexpr int kStep = kFrameSamples / kLfeSamples;  // 96
    static constexpr int kDelay = 481;
    static constexpr int kHalfTaps = 5;  // LFE samples on each side

    LfeInterpolator();

    // Takes the frame's LFE samples and writes 1152 full-rate samples.
    void Run(const std::array<double, kLfeSamples>& samples, double* output);
    void Reset();

  private:
    static constexpr int kTaps = 2 * kHalfTaps;
    // Coefficients per tap and output phase (0..95), normalised to unit gain at DC: the
    // outputs that share their taps read each tap's coefficients side by side.
    std::array<std::array<double, kStep>, kTaps> kernelByTap{};

    // `count` outputs from `phase` on, all interpolated from the same taps.
    void InterpolateRun(const double* taps, int phase, int count, double* output) const;
    std::array<double, 2 * kLfeSamples> history{};  // previous frame, then this one
};

}  // namespace tavrisk::mp2dec
