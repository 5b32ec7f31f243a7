// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2enc/EncoderTables.h"
#include "mp2enc/MpegHeader.h"

namespace tavrisk::mp2 {

// The polyphase analysis filterbank: per channel slot a circular input history of 512
// samples (and one granule more); each granule consumes 32 new samples and yields its 32
// subband samples.
class AnalysisFilterbank {
  public:
    static constexpr int kBands = kSubbands;
    static constexpr int kTaps = kWindowSize;
    static constexpr int kMatrixColumns = 64;
    static constexpr int kHalfBands = kBands / 2;
    static constexpr int kQuarterBands = kBands / 4;
    // A slot's history holds one granule more than a window (see StoreNewest).
    static constexpr int kRing = kTaps + kSamplesPerGranule;

    // The window reversed and scaled from 16-bit to +-1; the matrix folded to 32 columns, its
    // odd columns for the first 16 rows and its even columns, split again into those whose
    // index is a multiple of four and the rest, for the first 8 rows, transposed: the other
    // rows follow from them by symmetry. In single precision, as the granule steps compute.
    struct Tables {
        std::array<float, kTaps> window;
        std::array<std::array<float, kQuarterBands>, kQuarterBands> evenOfEven;
        std::array<std::array<float, kQuarterBands>, kQuarterBands> oddOfEven;
        std::array<std::array<float, kHalfBands>, kHalfBands> odd;
    };

    AnalysisFilterbank();

    // Clears the history of every slot.
    void Reset();
    // Consumes 32 samples (16-bit scale) from `input`, which advances, and writes the
    // 512 windowed values of slot `slot`, in double precision: the reference for Analyse.
    void WindowSubband(int slot, const double*& input, double* windowed);
    // The 32 subband samples of one granule from 512 windowed values: the matrix product,
    // folded by its symmetries, in double precision.
    void FilterSubband(const double* windowed, double* out) const;
    // Both steps at once, in single precision (the samples are stored as floats, which hold
    // 16-bit values exactly) and laid out for speed; the results are handed on as doubles.
    void Analyse(int slot, const double*& input, double* out);
    // `count` granules in a row, into out[0] to out[count - 1]: the same values as Analyse
    // granule by granule, two at a time where it can.
    void AnalyseGranules(int slot, const double*& input, int count, double (*out)[kBands]);

    // Cosine matrix entry M[i][k], rounded to 9 decimals.
    double Matrix(int i, int k) const { return cosineMatrix[i][k]; }

    // Stores 32 new samples (or twice 32, for the pair) in a history row at `base` and
    // analyses the granule (or two); returns the row's next write position.
    using GranuleFunction = int (*)(float* history, int base, const double* input,
                                    const Tables& tables, double* out);

  private:
    // Stores 32 new samples of a slot; returns where its 512 newest values start, oldest first.
    const float* Push(int slot, const double*& input);

    std::array<std::array<float, 2 * kRing>, kChannelSlots> history{};
    std::array<int, kChannelSlots> offset{};  // the next write position of each slot
    std::array<std::array<double, kMatrixColumns>, kBands> cosineMatrix{};
    Tables tables{};
    GranuleFunction granule;  // the builds of the granule steps for this processor
    GranuleFunction granulePair;
};

}  // namespace tavrisk::mp2
