// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "app/model/Controls.h"
#include "dsp/LoudnessTarget.h"

namespace tavrisk {

// A loudness target users are asked for.
struct LoudnessPreset {
    const char* label;
    double targetLufs;
};

// The normalise row's loudness controls: the kind combo ("Peak", "Loudness"), the target's
// preset combo (the presets, then "Custom"), the target itself and the true-peak ceiling.
struct LoudnessControlStates {
    static constexpr std::array<LoudnessPreset, 3> kPresets = {{
        {"EBU R 128 (-23 LUFS)", -23.0},
        {"ATSC A/85 (-24 LKFS)", -24.0},
        {"DVD dialogue (-27 LKFS)", -27.0},
    }};
    static constexpr const char* kCustomItem = "Custom";
    enum KindItem { kPeakItem = 0, kLoudnessItem = 1 };

    ComboControl kind{
        .items = {"Peak", "Loudness"}, .selected = kPeakItem, .enabled = true, .refusals = {}};
    ComboControl preset{
        .items = {kPresets[0].label, kPresets[1].label, kPresets[2].label, kCustomItem},
        .selected = 0,
        .enabled = true,
        .refusals = {}};
    LoudnessNormalization values;

    // The preset item of a target: its preset's, or "Custom".
    static int PresetItemOf(double targetLufs);
};

}  // namespace tavrisk
