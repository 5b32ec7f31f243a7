// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2enc/EncoderLog.h"
#include "mp2enc/EncoderTables.h"
#include "mp2enc/LfeFilter.h"

namespace tavrisk::mp2 {

// Codes the low-frequency channel: the samples of its low-pass and decimation (LfeFilter),
// one scale factor and a fixed 31-level quantiser. The coder filters the channel itself, or
// takes each frame's samples filtered already (SetFrame) when the filter runs ahead of it.
class LfeCoder {
  public:
    static constexpr int kSamples = LfeFilter::kSamples;
    static constexpr int kDecimation = LfeFilter::kDecimation;
    static constexpr int kBlockSamples = LfeFilter::kBlockSamples;
    static constexpr int kAllocation = 4;
    static constexpr int kBits = 4 + 6 + kSamples * 5;  // allocation, scale factor, samples

    // Clears the filter state and the waiting samples (start of an encoding run).
    void Reset();
    // Filters one block of 1152 input samples (16-bit scale); see LfeFilter.
    void FilterBlock(const double* input) { filter.FilterBlock(input); }
    // Filters a block of silence: at the end of the input it brings the last frame's samples.
    void FilterSilence() { filter.FilterSilence(); }
    // Whether a whole frame of samples waits.
    bool FrameReady() const { return filter.FrameReady(); }
    // Takes the next frame's 12 samples (zeros for any not yet filtered).
    void TakeFrame() { filter.TakeFrame(lfeSample); }
    // Takes a frame's 12 samples from a filter that ran ahead.
    void SetFrame(const LfeFilter::Frame& samples) { lfeSample = samples; }
    // Scale factor index of the 12 samples.
    void LfeScaleFactor();
    // Quantises with `entry`, the allocation entry whose width the frame writes.
    void LfeQuantise(const AllocationEntry& entry, EncoderLog& messages);

    // The low-pass's group delay at low frequencies, in input samples (rounded).
    int LookAhead() const { return filter.LookAhead(); }
    const std::array<double, kSamples>& Samples() const { return lfeSample; }
    int ScaleIndex() const { return scaleFactorIndex; }
    const std::array<int, kSamples>& Codes() const { return lfeCode; }

    // Filters one sample through the cascade (for tests of the response).
    double FilterSample(double x) { return filter.FilterSample(x); }

  private:
    LfeFilter filter;
    LfeFilter::Frame lfeSample{};
    std::array<int, kSamples> lfeCode{};
    int scaleFactorIndex = 0;
};

}  // namespace tavrisk::mp2
