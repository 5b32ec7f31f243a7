// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2enc/EncoderTables.h"
#include "mp2enc/MpegHeader.h"

namespace tavrisk::mp2 {

// The polyphase analysis filterbank: per channel slot a circular input history of 512
// samples; each call consumes 32 new samples and yields the 32 subband samples of one
// granule.
class AnalysisFilterbank {
  public:
    static constexpr int kBands = kSubbands;
    static constexpr int kTaps = kWindowSize;
    static constexpr int kMatrixColumns = 64;

    AnalysisFilterbank();

    // Clears the history of every slot.
    void Reset();
    // Consumes 32 samples (16-bit scale) from `input`, which advances, and writes the
    // 512 windowed values of slot `slot`.
    void WindowSubband(int slot, const double*& input, double* windowed);
    // The 32 subband samples of one granule from 512 windowed values.
    void FilterSubband(const double* windowed, double* out) const;
    // Both steps at once: the same arithmetic in the same order, laid out for speed.
    void Analyse(int slot, const double*& input, double* out);

    // Cosine matrix entry M[i][k], rounded to 9 decimals.
    double Matrix(int i, int k) const { return cosineMatrix[i][k]; }

    using GranuleFunction = void (*)(const double* x, const std::array<double, kBands>* transposed,
                                     double* out);

  private:
    // Stores 32 new samples of a slot; returns where its 512 newest values start.
    int Push(int slot, const double*& input);

    std::array<std::array<double, 2 * kTaps>, kChannelSlots> history{};
    std::array<int, kChannelSlots> offset{};
    std::array<std::array<double, kMatrixColumns>, kBands> cosineMatrix{};
    std::array<std::array<double, kBands>, kMatrixColumns> transposedMatrix{};
    GranuleFunction granule;  // the build of the granule step for this processor
};

}  // namespace tavrisk::mp2
