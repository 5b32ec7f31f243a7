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
    // Above 0: the multichannel data that does not fit in the frame's first bytes (all but
    // `ancillaryBytes` at its end) continues in an extension frame of this many bytes.
    int extensionFrameBytes = 0;
    int ancillaryBytes = 0;
    bool breakExtensionFrameCrc = false;
    int center = 1;    // 3: limited bandwidth
    int surround = 2;  // 3: a second stereo programme
    // The extension carries positions 2 .. 1 + its channel count; a limited centre's position
    // has no allocation from subband 12 on.
    bool lfe = true;
    int dematrixProcedure = 0;
    int multiLingual = 0;
    bool groupwiseTc = false;
    std::array<int, 12> tcAlloc{};
    bool dynCross = false;
    bool prediction = false;
    int predictedGroup = -1;  // with `prediction`: the one group that predicts
    int lfeCode = 20;  // 31 levels, allocation 4
    int lfeScaleIndex = 3;
    bool breakMcCrc = false;

    // Value the decoder should produce for a code with the frame's scale factor.
    static double Value(int code, int scaleIndex = 3);
    // Value of an LFE code (31 levels) with its scale factor.
    static double LfeValue(int code, int scaleIndex);
};

// Writes the frame (cut to the length its header gives), and its extension frame after it.
std::vector<uint8_t> WriteTestFrame(const TestFrame& frame);

}  // namespace tavrisk::mp2dec::test
