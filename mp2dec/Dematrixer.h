// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2dec/FrameContent.h"

namespace tavrisk::mp2dec {

// Output channels of the six-channel result, in file order.
enum OutputChannel { kOutL = 0, kOutC, kOutR, kOutLs, kOutRs, kOutLfe, kOutputChannels };
inline constexpr int kMainChannels = 5;

// Recovers L, C, R, LS, RS in the subband domain from the compatible pair and the three
// transmission channels, by the frame's dematrix procedure and per-group transmission
// channel allocation, and undoes the weights the matrix applied.
class Dematrixer {
  public:
    void Run(const FrameContent& content, std::array<SubbandBlock, kMainChannels>& out) const;

    // First subband of each transmission channel allocation group, and the end.
    static int GroupOfSubband(int subband);
    // Whether tc_allocation `tcAlloc` carries the centre next to the compatible pair.
    static bool CarriesCentreFirst(int tcAlloc);
};

}  // namespace tavrisk::mp2dec
