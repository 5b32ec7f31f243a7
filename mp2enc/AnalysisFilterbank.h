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
    static constexpr int kHalfBands = kBands / 2;

    // The window reversed and scaled from 16-bit to +-1; the matrix folded to 32 columns,
    // its even and its odd columns for the first 16 rows, transposed: the last 16 rows follow
    // from them by symmetry.
    struct Tables {
        std::array<double, kTaps> window;
        std::array<std::array<double, kHalfBands>, kHalfBands> even;
        std::array<std::array<double, kHalfBands>, kHalfBands> odd;
    };

    AnalysisFilterbank();

    // Clears the history of every slot.
    void Reset();
    // Consumes 32 samples (16-bit scale) from `input`, which advances, and writes the
    // 512 windowed values of slot `slot`.
    void WindowSubband(int slot, const double*& input, double* windowed);
    // The 32 subband samples of one granule from 512 windowed values: the matrix product,
    // folded by its symmetries.
    void FilterSubband(const double* windowed, double* out) const;
    // Both steps at once: the same arithmetic in the same order, laid out for speed.
    void Analyse(int slot, const double*& input, double* out);

    // Cosine matrix entry M[i][k], rounded to 9 decimals.
    double Matrix(int i, int k) const { return cosineMatrix[i][k]; }

    // Stores 32 new samples in a history row from `base` on and analyses the granule; returns
    // where the row's 512 newest values now start.
    using GranuleFunction = int (*)(double* history, int base, const double* input,
                                    const Tables& tables, double* out);

  private:
    // Stores 32 new samples of a slot; returns where its 512 newest values start, oldest first.
    int Push(int slot, const double*& input);

    std::array<std::array<double, 2 * kTaps>, kChannelSlots> history{};
    std::array<int, kChannelSlots> offset{};
    std::array<std::array<double, kMatrixColumns>, kBands> cosineMatrix{};
    Tables tables{};
    GranuleFunction granule;  // the build of the granule step for this processor
};

}  // namespace tavrisk::mp2
