// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace tavrisk::ac3 {

// Sizes of AC-3 sync frames.
inline constexpr int kSampleRateCodes = 3;  // fscod 0 48 kHz, 1 44.1 kHz, 2 32 kHz
inline constexpr int kFrameSizeCodes = 38;  // frmsizecod 0..37
inline constexpr std::size_t kMaxFrameBytes = 3840;
inline constexpr int kSamplesPerFrame = 1536;

// Bytes in one sync frame for a frame-size code and a sample-rate code; 0 when either code
// is out of range.
int FrameBytes(int frameSizeCode, int sampleRateCode);

// Sample rate in Hz of a sample-rate code; 0 when out of range.
int SampleRate(int sampleRateCode);

}  // namespace tavrisk::ac3
