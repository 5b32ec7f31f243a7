// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2dec/Mp2Tables.h"

namespace tavrisk::mp2dec {

// The polyphase synthesis filterbank of one channel: 32 subband samples in, 32 output
// samples out, with the 1024-value history the window needs.
class SynthesisFilterbank {
  public:
    SynthesisFilterbank();

    // Output samples are on the subband scale (full scale about +-1).
    void Run(const std::array<double, kSubbands>& subbands, double* output);
    void Reset();

  private:
    static constexpr int kHistory = 1024;
    // Runs of silence after which every value of the history is zero.
    static constexpr int kRunsToSilence = kHistory / 64;

    // Single precision: within a hundredth of an LSB of a double-precision synthesis.
    alignas(32) std::array<float, kHistory> history{};
    int offset = 0;
    int silentRuns = 0;
};

}  // namespace tavrisk::mp2dec
