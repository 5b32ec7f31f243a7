// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/LoudnessTaps.h"

#include <algorithm>

namespace tavrisk {

namespace {

constexpr float kBlockScale = 1.0f / ChannelProcessor::kFullScale;

std::array<const float*, LoudnessTaps::kChannels> Columns(
    const std::array<std::vector<float>, LoudnessTaps::kChannels>& samples) {
    std::array<const float*, LoudnessTaps::kChannels> columns{};
    for (int c = 0; c < LoudnessTaps::kChannels; ++c) columns[c] = samples[c].data();
    return columns;
}

}  // namespace

void LoudnessTaps::Start(Points measured, int inputRate, int outputRate, std::size_t maxRunFrames) {
    points = measured;
    input.Stop();
    output.Stop();
    if (points == Points::kNone) return;
    if (points != Points::kOutputIsInput) input.Start(inputRate);
    if (points != Points::kInputOnly) output.Start(outputRate);
    for (std::vector<float>& column : routed) column.assign(maxRunFrames, 0.0f);
    for (std::vector<float>& column : delivered) column.assign(SampleBlock::kFrames, 0.0f);
    shownPeaks.fill(0.0);
}

void LoudnessTaps::MeasureInput(const float* frames, std::size_t count,
                                const ChannelProcessor::FrameLayout& slotOfColumn) {
    const std::size_t capacity = routed[0].size();
    if (!MeasuresInput() || capacity == 0) return;
    for (std::size_t done = 0; done < count; done += capacity) {
        const std::size_t run = std::min(count - done, capacity);
        const float* from = frames + done * kChannels;
        for (int c = 0; c < kChannels; ++c) {
            float* column = routed[c].data();
            const int slot = slotOfColumn[c];
            if (slot < 0) {
                std::fill(column, column + run, 0.0f);
                continue;
            }
            for (std::size_t i = 0; i < run; ++i) column[i] = from[i * kChannels + slot];
        }
        input.Add(Columns(routed), run);
    }
}

void LoudnessTaps::MeasureOutput(const SampleBlock& block) {
    if (!output.Started()) return;
    for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
        const auto* values = block.Row(row);
        float* column = delivered[row].data();
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i)
            column[i] = static_cast<float>(values[i]) * kBlockScale;
    }
    output.Add(Columns(delivered), SampleBlock::kFrames);
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
