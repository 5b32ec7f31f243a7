// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/LoudnessTaps.h"

#include <algorithm>

namespace tavrisk {

namespace {

constexpr float kBlockScale = 1.0f / ChannelProcessor::kFullScale;

}  // namespace

void LoudnessTaps::Start(Points measured, int inputRate, int outputRate, std::size_t maxRunFrames) {
    points = measured;
    input.Stop();
    output.Stop();
    if (points == Points::kNone) return;
    if (points != Points::kOutputIsInput) input.Start(inputRate);
    if (points != Points::kInputOnly) output.Start(outputRate);
    routed.assign(maxRunFrames * kChannels, 0.0f);
    delivered.assign(SampleBlock::kFrames * kChannels, 0.0f);
    shownPeaks.fill(0.0);
}

void LoudnessTaps::MeasureInput(const float* frames, std::size_t count,
                                const ChannelProcessor::FrameLayout& slotOfColumn) {
    const std::size_t capacity = routed.size() / kChannels;
    if (!MeasuresInput() || capacity == 0) return;
    for (std::size_t done = 0; done < count; done += capacity) {
        const std::size_t run = std::min(count - done, capacity);
        const float* from = frames + done * kChannels;
        for (std::size_t i = 0; i < run; ++i) {
            for (int c = 0; c < kChannels; ++c) {
                const int slot = slotOfColumn[c];
                routed[i * kChannels + c] = slot >= 0 ? from[i * kChannels + slot] : 0.0f;
            }
        }
        input.Add(routed.data(), run);
    }
}

void LoudnessTaps::MeasureOutput(const SampleBlock& block) {
    if (!output.Started()) return;
    for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
        const double* values = block.Row(row);
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i)
            delivered[i * kChannels + row] = static_cast<float>(values[i]) * kBlockScale;
    }
    output.Add(delivered.data(), SampleBlock::kFrames);
}

bool LoudnessTaps::InputPeaksRose(std::array<float, kChannels>& levelsDb) {
    const std::array<double, kChannels> peaks = InputMeter().TruePeaks();
    if (peaks == shownPeaks) return false;
    bool rose = false;
    for (int c = 0; c < kChannels; ++c) rose = rose || peaks[c] > shownPeaks[c];
    if (!rose) return false;
    shownPeaks = peaks;
    for (int c = 0; c < kChannels; ++c) levelsDb[c] = static_cast<float>(DecibelsOf(peaks[c]));
    return true;
}

}  // namespace tavrisk
