// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// The built-in default input: ten seconds of a six-channel 48 kHz WAV file with a distinct
// tone per channel, in the file order L, C, R, LS, RS, LFE.
class DemoInput {
  public:
    static constexpr int kRate = 48000;
    static constexpr int kSeconds = 10;
    static constexpr double kFrequencies[6] = {440.0, 554.37, 659.26, 293.66, 369.99, 55.0};
    static constexpr double kAmplitude = 8192.0;  // -12 dBFS

    // Writes the file; false with `error` set when it cannot be written.
    static bool Write(const std::string& path, std::string& error);
};

}  // namespace tavrisk
