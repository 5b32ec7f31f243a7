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
    queue.reset();
    points = measured;
    input.Stop();
    output.Stop();
    runCapacity = 0;
    measuredPeaks.fill(0.0);
    shownPeaks.fill(0.0);
    if (points == Points::kNone) return;
    if (points != Points::kOutputIsInput) input.Start(inputRate);
    if (points != Points::kInputOnly) output.Start(outputRate);
    runCapacity = maxRunFrames;
    std::vector<TapRun> ring(kQueuedRuns);
    for (TapRun& run : ring) {
        for (std::vector<float>& column : run.columns)
            column.assign(std::max(maxRunFrames, SampleBlock::kFrames), 0.0f);
    }
    queue = std::make_unique<WorkerQueue<TapRun>>(
        std::move(ring), [this](const TapRun& run) { return Measure(run); });
}

bool LoudnessTaps::Measure(const TapRun& run) {
    LoudnessMeter& meter = run.output ? output : input;
    meter.Add(Columns(run.columns), run.count);
    if (&meter == &InputMeter()) {
        const std::array<double, kChannels> peaks = meter.TruePeaks();
        const std::lock_guard guard(peaksLock);
        measuredPeaks = peaks;
    }
    return true;
}

void LoudnessTaps::MeasureInput(const float* frames, std::size_t count,
                                const ChannelProcessor::FrameLayout& slotOfColumn) {
    if (!MeasuresInput() || runCapacity == 0) return;
    for (std::size_t done = 0; done < count; done += runCapacity) {
        const std::size_t length = std::min(count - done, runCapacity);
        const float* from = frames + done * kChannels;
        TapRun& run = *queue->Acquire();
        for (int c = 0; c < kChannels; ++c) {
            float* column = run.columns[c].data();
            const int slot = slotOfColumn[c];
            if (slot < 0) {
                std::fill(column, column + length, 0.0f);
                continue;
            }
            for (std::size_t i = 0; i < length; ++i) column[i] = from[i * kChannels + slot];
        }
        run.output = false;
        run.count = length;
        queue->Commit();
    }
}

void LoudnessTaps::MeasureOutput(const SampleBlock& block) {
    if (!output.Started()) return;
    TapRun& run = *queue->Acquire();
    for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
        const auto* values = block.Row(row);
        float* column = run.columns[row].data();
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i)
            column[i] = static_cast<float>(values[i]) * kBlockScale;
    }
    run.output = true;
    run.count = SampleBlock::kFrames;
    queue->Commit();
}

void LoudnessTaps::Settle() const {
    if (queue) queue->Drain();
}

LoudnessFigures LoudnessTaps::Input() const {
    Settle();
    return InputMeter().Figures();
}

LoudnessFigures LoudnessTaps::Output() const {
    Settle();
    return output.Figures();
}

bool LoudnessTaps::InputPeaksRose(std::array<float, kChannels>& levelsDb) {
    std::array<double, kChannels> peaks{};
    {
        const std::lock_guard guard(peaksLock);
        peaks = measuredPeaks;
    }
    if (peaks == shownPeaks) return false;
    bool rose = false;
    for (int c = 0; c < kChannels; ++c) rose = rose || peaks[c] > shownPeaks[c];
    if (!rose) return false;
    shownPeaks = peaks;
    for (int c = 0; c < kChannels; ++c) levelsDb[c] = static_cast<float>(DecibelsOf(peaks[c]));
    return true;
}

}  // namespace tavrisk
