// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrisk::mp2dec {

// Writes `samples` frames of `channels` interleaved 16-bit values: channel c of frame i is
// channel[c][i] (full scale +-1) rounded to the nearest value, halves away from zero, and
// clipped. `samples` is a multiple of 8.
void InterleavePcm(const double* const* channel, int channels, int samples, int16_t* output);

}  // namespace tavrisk::mp2dec
