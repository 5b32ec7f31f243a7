#pragma once

#include <array>
#include <cstdio>

#include "mp2enc/EncoderTables.h"

namespace tavrisk::mp2 {

// Codes the low-frequency channel: a 16th-order Butterworth low-pass (125 Hz corner at
// 48 kHz), decimation to 12 samples per frame, one scale factor and a fixed 31-level
// quantiser.
class LfeCoder {
  public:
    static constexpr int kSamples = 12;
    static constexpr int kDecimation = 96;
    static constexpr int kSections = 8;
    static constexpr int kAllocation = 4;
    static constexpr int kBits = 4 + 6 + kSamples * 5;  // allocation, scale factor, samples

    LfeCoder();

    // Clears the filter state (start of an encoding run).
    void reset();
    // Filters one frame of 1152 samples (16-bit scale) and keeps every 96th output.
    void lfeFilter(const double* input);
    // Scale factor index of the 12 samples.
    void lfeScaleFactor();
    // Quantises with `entry`, the allocation entry whose width the frame writes.
    void lfeQuantise(const AllocationEntry& entry, std::FILE* messages);

    const std::array<double, kSamples>& samples() const { return lfeSample; }
    int scaleIndex() const { return scaleFactorIndex; }
    const std::array<int, kSamples>& codes() const { return lfeCode; }

    // Filters one sample through the cascade (for tests of the response).
    double filterSample(double x);

  private:
    struct Section {
        double b0, b1, b2, a1, a2;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    std::array<Section, kSections> sections{};
    std::array<double, kSamples> lfeSample{};
    std::array<int, kSamples> lfeCode{};
    int scaleFactorIndex = 0;
};

}  // namespace tavrisk::mp2
