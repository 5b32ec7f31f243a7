// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "tests/support/TestSupport.h"

namespace tavrisk::test {

constexpr int kInputRate = 48000;
constexpr int kInputSeconds = 2;
// The tone of each channel of the six-channel WAV, in WAV order (FL, FR, FC, LFE, BL, BR);
// the LFE tone lies below the 120 Hz low-pass of the codecs' LFE channel.
constexpr std::array<double, 6> kWavTones = {440.0, 620.0, 860.0, 70.0, 1100.0, 1340.0};
// The WAV channel that each delivered channel (L, C, R, LS, RS, LFE) must carry.
constexpr std::array<int, 6> kWavChannelOfSlot = {0, 2, 1, 4, 5, 3};

// The six-channel 16-bit WAV, written once into `folder`.
std::string MakeToneWav(const std::string& folder);
// A copy of a file with a run of bytes in its middle overwritten.
bool DamageMiddle(const std::string& from, const std::string& to);
// The first `share` of a file.
bool Truncate(const std::string& from, const std::string& to, double share);

}  // namespace tavrisk::test
