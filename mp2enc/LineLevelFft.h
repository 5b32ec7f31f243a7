// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

namespace tavrisk::mp2 {

// The spectrum the psychoacoustic model analyses: a block of 1024 samples under a Hann window,
// transformed in single precision as a real FFT (a 512-point complex FFT of the even and odd
// samples and a pass that separates their spectra), and the level and power of its first 512
// lines. The plain and the AVX2 code take the same operations in the same order (no fused
// multiply-adds), so the values never depend on the processor.
class LineLevelFft {
  public:
    static constexpr int kBlockSamples = 1024;
    static constexpr int kLines = 512;
    static constexpr int kTailSamples = 192;  // of the previous frame, at the block's start
    static constexpr int kMixSources = 12;
    // A line whose energy lies below this takes the floor level.
    static constexpr double kMinEnergy = 1e-20;
    static constexpr double kPowerOffsetDb = 90.309;
    // 10 log10(2): a power's level in dB from its base-2 logarithm.
    static constexpr double kDbPerOctave = 3.0102999566398119521;

    // The windowed block, even samples in re and odd ones in im, as the FFT takes it; one
    // spare value past each half for the separating pass.
    struct Block {
        alignas(32) std::array<float, kLines + 8> re{};
        alignas(32) std::array<float, kLines + 8> im{};
    };

    // withAvx2 = false keeps to the plain code on every processor.
    explicit LineLevelFft(bool withAvx2 = true);

    // Windows `tail` (192 samples) followed by the first 832 of `samples` (16-bit scale);
    // false when every windowed value is zero.
    bool Window(const double* tail, const double* samples, Block& block) const;
    // The windowed block of a slot that is a weighted sum of others (as a matrixed channel is):
    // its own `tail` windowed as above, then over the rest the weighted sum of the windowed
    // blocks of the others (at most kMixSources). False when every value is zero.
    bool Mix(const double* tail, const Block* const* sources, const double* weights, int count,
             Block& block) const;
    // Level (dB) and power of each line, 10^(level / 10); lines below the energy floor take
    // FloorDb() and its power. Both blocks are overwritten.
    void Levels(Block& block, Block& work, double* level, double* power) const;

    double FloorDb() const { return tables.floorDb; }

    // Tables, read by the kernels.
    struct Tables {
        std::array<double, kBlockSamples> window{};  // with the 1/32768 of the sample scale
        // Per radix-4 stage, the turns of outputs 1 to 3 of each butterfly.
        float turnRe[4][3][kLines / 4]{};
        float turnIm[4][3][kLines / 4]{};
        std::array<float, kLines> splitRe{};  // e^(-2 pi i k / 1024)
        std::array<float, kLines> splitIm{};
        double floorDb = 0.0;
        double floorPower = 0.0;
        double offsetPower = 0.0;
    };

  private:
    using WindowFunction = bool (*)(const Tables&, const double*, const double*, Block&, int);
    using MixFunction = bool (*)(const Block* const*, const float*, int, Block&);
    using LevelFunction = void (*)(const Tables&, Block&, Block&, double*, double*);
    Tables tables;
    WindowFunction window = nullptr;
    LevelFunction levels = nullptr;
    MixFunction mix = nullptr;
};

}  // namespace tavrisk::mp2
