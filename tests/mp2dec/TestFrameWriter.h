// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tavrisk::mp2dec::test {

// What one hand-made 48 kHz stereo frame carries. Only subbands 0..2 of each transmission
// channel carry samples, all 36 samples with one 63-level code and one scale factor.
struct TestFrame {
    static constexpr int kCodedSubbands = 3;
    static constexpr int kLevels = 63;
    static constexpr int kAllocationIndex = 5;  // 63 levels in subbands 0..10 of the table
    int bitrateIndex = 14;                      // 384 kbit/s
    std::array<std::array<int, kCodedSubbands>, 5> codes{};  // -1: no allocation
    int scaleIndex = 3;                                      // scale factor 1.0
    bool extension = true;
    bool extStream = false;
    int center = 1;
    int surround = 2;
    bool lfe = true;
    int dematrixProcedure = 0;
    int multiLingual = 0;
    bool groupwiseTc = false;
    std::array<int, 12> tcAlloc{};
    bool dynCross = false;
    bool prediction = false;
    int lfeCode = 20;  // 31 levels, allocation 4
    int lfeScaleIndex = 3;
    bool breakMcCrc = false;

    // Value the decoder should produce for a code with the frame's scale factor.
    static double Value(int code, int scaleIndex = 3);
};

// Writes the frame (cut to the length its header gives).
std::vector<uint8_t> WriteTestFrame(const TestFrame& frame);

}  // namespace tavrisk::mp2dec::test
