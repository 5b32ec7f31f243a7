// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

namespace tavrisk::mp2 {

// The low-frequency channel's low-pass and decimation: a 16th-order Butterworth low-pass
// (125 Hz corner at 48 kHz), then every 96th output, 12 per frame. The low-pass delays the
// LFE by its group delay; the samples are taken that much later, so that the decoded LFE is
// in step with the main channels. A frame's samples are therefore ready only once part of
// the next block has been filtered. Its state reaches back to the start of the stream, so
// one filter runs through a stream in order.
//
// Only one output in 96 is kept, so the blocks run from kept output to kept output in one
// step each: the cascade is linear, and its state after 96 samples is a fixed linear map of
// its state before them and of the 96 inputs (HopMap). That gives the kept outputs of the
// sample-by-sample cascade to within rounding (about 1e-11 of full scale), with half its
// multiplies and none of its sample-to-sample dependence.
class LfeFilter {
  public:
    static constexpr int kSamples = 12;
    static constexpr int kDecimation = 96;
    static constexpr int kBlockSamples = kSamples * kDecimation;
    static constexpr int kSections = 8;
    using Frame = std::array<double, kSamples>;
    // The outputs of the sections (the last output and the one before, per section), then
    // the first section's last two inputs: the whole state of the cascade.
    static constexpr int kOutputs = 2 * kSections;
    static constexpr int kState = kOutputs + 2;
    // Columns of the map: one a state value, then one an input sample of the hop.
    static constexpr int kColumns = kState + kDecimation;
    struct HopMap {
        alignas(32) double column[kColumns][kOutputs];
    };
    using HopFunction = void (*)(const HopMap& map, const double* state, const double* input,
                                 double* outputs);

    LfeFilter();

    // Clears the filter state and the waiting samples (start of a stream).
    void Reset();
    // Filters one block of 1152 input samples (16-bit scale) and keeps every 96th output,
    // counted from the look-ahead on.
    void FilterBlock(const double* input);
    // Filters a block of silence: at the end of the input it brings the last frame's samples.
    void FilterSilence();
    // Whether a whole frame of samples waits.
    bool FrameReady() const { return waiting >= kSamples; }
    // Takes the next frame's 12 samples into `frame` (zeros for any not yet filtered).
    void TakeFrame(Frame& frame);

    // The low-pass's group delay at low frequencies, in input samples (rounded).
    int LookAhead() const { return delay; }
    // Filters one sample through the cascade (the lead-in to the first kept output, and
    // tests of the response).
    double FilterSample(double x);

  private:
    struct Section {
        double b0, b1, b2, a1, a2;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        // One sample through the section.
        double Step(double x) {
            const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            return y;
        }
    };
    void Keep(double y);
    // The cascade's state gathered and stored back in the order of HopMap's columns.
    void GatherState(double* state) const;
    void ScatterState(const double* outputs, const double* input);
    // Runs 96 input samples through the cascade at once; returns the last output.
    double Hop(const double* input);
    // The map of 96 samples through `sections` (from their coefficients alone).
    static HopMap MakeHopMap(const std::array<Section, kSections>& sections);

    std::array<Section, kSections> sections{};
    const HopMap* hopMap = nullptr;
    HopFunction hop;  // the build of the hop for this processor
    int delay = 0;
    // Decimated outputs not yet taken; a frame is taken per block, so two frames' worth
    // never fill it. Were it full, the oldest would be dropped.
    static constexpr int kQueue = 3 * kSamples;
    std::array<double, kQueue> queue{};
    int first = 0;
    int waiting = 0;
    int leadIn = 0;  // input samples, sample by sample, up to and with the first kept output
    // A hop's samples split between two blocks wait here.
    std::array<double, kDecimation> staged{};
    int stagedCount = 0;
};

}  // namespace tavrisk::mp2
