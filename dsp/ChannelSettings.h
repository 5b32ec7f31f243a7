// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tavrisk {

// Channel settings of a job, as plain values the processing chain owns. Columns are in the
// window's order L, R, C, LFE, LS, RS.
namespace ChannelSettings {
constexpr int kColumns = 6;
constexpr int kNoSelection = -1;
constexpr int kFullSlider = 100;
}  // namespace ChannelSettings

// The controls a user may change while a job runs. The chain takes a copy of them at each
// block boundary, so a change applies from the next block and no frame sees half of it.
struct ChannelControls {
    // For each output column, the input column (0..5) that feeds it.
    std::array<int, ChannelSettings::kColumns> routing{0, 1, 2, 3, 4, 5};
    // Gain slider positions (0..100): the normalisation targets.
    std::array<int, ChannelSettings::kColumns> sliderPositions{100, 100, 100, 100, 100, 100};
    // Selected items of the link combos, or kNoSelection.
    int normalizeLinkMode = 0;
    int drpLinkMode = 1;

    bool operator==(const ChannelControls&) const = default;
};

// A channel's transfer curve as level pairs in dB, with its release time.
struct CurveCopy {
    std::vector<float> inputDb;
    std::vector<float> outputDb;
    int32_t releaseMs = 0;
};

// What stays fixed for a job: the switches, the output rate the dynamics run at, the curves
// (copied once, so editing one during a run does not change that run) and the controls at
// the start.
struct ChannelJobSettings {
    bool normalize = false;
    bool drp = false;
    // 44100, 48000, or 0 when the output-rate combo has no selection.
    int outputRate = 0;
    std::array<CurveCopy, ChannelSettings::kColumns> curves;
    ChannelControls controls;
};

}  // namespace tavrisk
