// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

namespace tavrisk::mp2 {

// Bit rates in kbit/s by layer (rows I, II, III) and header bitrate code.
extern const std::array<std::array<int, 16>, 3> kBitrateTable;
// Sampling frequency in kHz by header code (3 is reserved).
extern const std::array<double, 4> kSamplingFrequencyKhz;

// Header bitrate code of `kbps` for `layer`; -1 when illegal.
int BitrateIndex(int layer, int kbps);
// Header sampling-frequency code of `hz` (16, 17, 18 for the half rates); -1 when illegal.
int SmpFrqIndex(long hz);
// The sampling frequency in Hz of a code SmpFrqIndex gives; 0 for any other.
long SampleRateOfCode(int code);

}  // namespace tavrisk::mp2
