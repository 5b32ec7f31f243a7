// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace tavrisk {

// The loudness of six channels by ITU-R BS.1770 and EBU R 128: each channel K-weighted (the
// standard's two filters, derived for the sample rate), its energy summed per 100 ms and
// weighted; the integrated loudness gates 400 ms blocks (overlapping by 75 %) at -70 LUFS
// and 10 LU below their mean, the loudness range (EBU Tech 3342) takes 3 s blocks every
// 100 ms, gates them at -70 LUFS and 20 LU below their mean, and spans their 10th to 95th
// percentiles.
class GatedLoudness {
  public:
    static constexpr int kChannels = 6;
    // The lanes the filters run in: the six channels and two idle ones.
    static constexpr int kLanes = 8;

    // A new measurement at `sampleRate` Hz; `weights` says how much each channel counts
    // (zero: not at all).
    void Start(int sampleRate, const std::array<double, kChannels>& weights);
    // `count` samples of each channel, full scale +-1.0.
    void Add(const std::array<const float*, kChannels>& channels, std::size_t count);
    // -infinity when no block passes the gates (silence, or less than 400 ms).
    double IntegratedLufs() const;
    // 0 when fewer than two 3 s blocks pass the gates.
    double RangeLu() const;

    // One second-order section of the K-weighting filter, a(0) = 1.
    struct Section {
        double b0, b1, b2, a1, a2;
    };
    // The weighting's shelving and high-pass sections at `sampleRate` Hz.
    static std::array<Section, 2> KWeighting(int sampleRate);

    // The filters' last inputs and outputs and the energy summed so far in the current
    // 100 ms, lane by lane.
    struct Lanes {
        std::array<double, kLanes> in1{}, in2{}, shelved1{}, shelved2{}, out1{}, out2{}, energy{};
    };

  private:
    std::array<Section, 2> sections{};
    std::array<double, kChannels> weights{};
    Lanes lanes;
    std::size_t blockFrames = 0;  // frames in 100 ms
    std::size_t framesInBlock = 0;
    // The weighted energy (sum of squares) of each complete 100 ms.
    std::vector<double> blocks;
};

}  // namespace tavrisk
