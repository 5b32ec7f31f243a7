// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace tavrisk::mp2::test {

// Walks the frames of a Layer II stream by their headers. `ok` is false (with `problem`)
// when a header is missing where the previous frame's length says the next one starts.
struct FrameWalk {
    bool ok = true;
    std::string problem;
    int frames = 0;
    std::vector<int> paddingBits;
};
FrameWalk WalkFrames(const std::vector<uint8_t>& bytes, int bitrateKbps, int rate);

// Lo/Ro of the 3/2 downmix (procedure 0) of a six-channel input in file order
// L, R, C, LFE, LS, RS.
std::vector<double> Downmix(const tavrisk::test::PcmAudio& input, int outputChannel);

// Signal-to-noise ratio in dB of `decoded` against `reference` after finding the decoder
// delay (0..maxLag samples) that fits best; only the middle part is compared.
double AlignedSnrDb(const std::vector<double>& reference, const std::vector<double>& decoded,
                    int maxLag, int* lagFound = nullptr);

// Decodes an .mp2 with ffmpeg to 16-bit stereo; the ffmpeg error text goes to `errors`.
tavrisk::test::PcmAudio DecodeWithFfmpeg(const std::string& mp2, const std::string& scratch,
                                         std::string* errors);

}  // namespace tavrisk::mp2::test
