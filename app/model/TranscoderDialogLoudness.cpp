// SPDX-License-Identifier: GPL-3.0-or-later
// The normalise row's loudness controls of the settings model.
#include <algorithm>
#include <cmath>

#include "app/model/TranscoderDialog.h"

namespace tavrisk {

int LoudnessControlStates::PresetItemOf(double targetLufs) {
    for (std::size_t i = 0; i < kPresets.size(); ++i) {
        if (std::fabs(kPresets[i].targetLufs - targetLufs) < 0.05) return static_cast<int>(i);
    }
    return static_cast<int>(kPresets.size());
}

void TranscoderDialog::SelectNormalizeKind(int item) {
    loudness.kind.selected = item == LoudnessControlStates::kLoudnessItem
                                 ? LoudnessControlStates::kLoudnessItem
                                 : LoudnessControlStates::kPeakItem;
    loudness.values.kind = loudness.kind.selected == LoudnessControlStates::kLoudnessItem
                               ? NormalizeKind::kLoudness
                               : NormalizeKind::kPeak;
    Changed(ctl::kNormalizeKind);
}

void TranscoderDialog::SelectLoudnessPreset(int item) {
    if (item < 0 || item >= static_cast<int>(loudness.preset.items.size())) return;
    loudness.preset.selected = item;
    // "Custom" keeps the target as it is, for the user to change.
    if (item < static_cast<int>(LoudnessControlStates::kPresets.size()))
        loudness.values.targetLufs = LoudnessControlStates::kPresets[item].targetLufs;
    Changed(ctl::kLoudnessPreset);
    Changed(ctl::kLoudnessTarget);
}

void TranscoderDialog::SetLoudnessTarget(double lufs) {
    if (!std::isfinite(lufs)) return;
    loudness.values.targetLufs = std::clamp(lufs, LoudnessNormalization::kLowestTargetLufs,
                                            LoudnessNormalization::kHighestTargetLufs);
    loudness.preset.selected = LoudnessControlStates::PresetItemOf(loudness.values.targetLufs);
    Changed(ctl::kLoudnessPreset);
    Changed(ctl::kLoudnessTarget);
}

void TranscoderDialog::SetTruePeakCeiling(double dbtp) {
    if (!std::isfinite(dbtp)) return;
    loudness.values.ceilingDbtp = std::clamp(dbtp, LoudnessNormalization::kLowestCeilingDbtp,
                                             LoudnessNormalization::kHighestCeilingDbtp);
    Changed(ctl::kTruePeakCeiling);
}

void TranscoderDialog::SetLoudnessNormalization(const LoudnessNormalization& values) {
    SelectNormalizeKind(values.kind == NormalizeKind::kLoudness
                            ? LoudnessControlStates::kLoudnessItem
                            : LoudnessControlStates::kPeakItem);
    SetLoudnessTarget(values.targetLufs);
    SetTruePeakCeiling(values.ceilingDbtp);
}

void TranscoderDialog::ShowJobSummary(const std::string& line) {
    controls.statusText.text =
        resultAwaitsSummary ? controls.statusText.text + kSummarySeparator + line : line;
    resultAwaitsSummary = false;
    statusIsJobSummary = true;
    Changed(ctl::kStatus);
}

void TranscoderDialog::ShowJobResult(const std::string& result) {
    // The job's summary comes from its thread: before the result or after it, it follows it.
    const std::string summary = statusIsJobSummary ? controls.statusText.text : "";
    SetStatusText(summary.empty() ? result : result + kSummarySeparator + summary);
    resultAwaitsSummary = summary.empty();
}

}  // namespace tavrisk
