// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrisk::mp2 {

// Frame-length accounting: whole slots per frame and the padding pattern that keeps the
// long-run average at the exact number of slots.
class FrameLength {
  public:
    static constexpr int kSamplesPerFrame = 1152;
    static constexpr int kBitsPerSlot = 8;

    void Init(int totalBitrateKbps, double frequencyKhz);
    // Padding bit of the next frame (and advances the accounting).
    int NextPadding();

    int WholeSlots() const { return whole; }
    double FracSlots() const { return frac; }
    double SlotsPerFrame() const { return whole + frac; }

  private:
    int whole = 0;
    double frac = 0.0;
    double slotLag = 0.0;
};

}  // namespace tavrisk::mp2
