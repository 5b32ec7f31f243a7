#pragma once

#include <array>
#include <cstdio>

namespace tavrisk::mp2 {

// Bit rates in kbit/s by layer (rows I, II, III) and header bitrate code.
extern const std::array<std::array<int, 16>, 3> kBitrateTable;
// Sampling frequency in kHz by header code (3 is reserved).
extern const std::array<double, 4> kSamplingFrequencyKhz;

// Header bitrate code of `kbps` for `layer`; -1 after a message on `err` when illegal.
int BitrateIndex(int layer, int kbps, std::FILE* err);
// Header sampling-frequency code of `hz` (16, 17, 18 for the half rates); -1 after a
// message on `err` when illegal.
int SmpFrqIndex(long hz, std::FILE* err);

}  // namespace tavrisk::mp2
