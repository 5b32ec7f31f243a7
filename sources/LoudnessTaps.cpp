// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/LoudnessTaps.h"

#include <algorithm>

namespace tavrisk {

namespace {

std::array<const float*, LoudnessTaps::kChannels> Columns(
    const std::array<std::vector<float>, LoudnessTaps::kChannels>& samples, std::size_t from) {
    std::array<const float*, LoudnessTaps::kChannels> columns{};
    for (int c = 0; c < LoudnessTaps::kChannels; ++c) columns[c] = samples[c].data() + from;
    return columns;
}

}  // namespace

void LoudnessTaps::Start(Points measured, int inputRate, int outputRate, std::size_t maxRunFrames) {
    gathering = nullptr;
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
    const std::size_t frames = std::max(maxRunFrames, kGatheredBlocks * SampleBlock::kFrames);
    std::vector<TapRuns> ring(kQueuedRuns);
    for (TapRuns& runs : ring) {
        for (Runs* part : {&runs.input, &runs.output}) {
            for (std::vector<float>& column : part->columns) column.assign(frames, 0.0f);
            part->lengths.reserve(kGatheredBlocks);
        }
    }
    queue = std::make_unique<WorkerQueue<TapRuns>>(
        std::move(ring), [this](const TapRuns& runs) { return Measure(runs); });
}

bool LoudnessTaps::Measure(const TapRuns& runs) {
    for (const bool forOutput : {false, true}) {
        const Runs& part = forOutput ? runs.output : runs.input;
        LoudnessMeter& meter = forOutput ? output : input;
        std::size_t from = 0;
        for (const std::size_t length : part.lengths) {
            meter.Add(Columns(part.columns, from), length);
            from += length;
        }
    }
    const std::array<double, kChannels> peaks = InputMeter().TruePeaks();
    const std::lock_guard guard(peaksLock);
    measuredPeaks = peaks;
    return true;
}

LoudnessTaps::Runs& LoudnessTaps::Room(bool forOutput, std::size_t length) {
    if (gathering) {
        const Runs& part = forOutput ? gathering->output : gathering->input;
        if (part.frames + length > part.columns[0].size()) {
            gathering = nullptr;
            queue->Commit();
        }
    }
    if (!gathering) {
        gathering = queue->Acquire();
        for (Runs* part : {&gathering->input, &gathering->output}) {
            part->lengths.clear();
            part->frames = 0;
        }
    }
    return forOutput ? gathering->output : gathering->input;
}

void LoudnessTaps::MeasureInput(const float* frames, std::size_t count,
                                const ChannelProcessor::FrameLayout& slotOfColumn) {
    if (!MeasuresInput() || runCapacity == 0) return;
    for (std::size_t done = 0; done < count; done += runCapacity) {
        const std::size_t length = std::min(count - done, runCapacity);
        const float* from = frames + done * kChannels;
        Runs& runs = Room(false, length);
        for (int c = 0; c < kChannels; ++c) {
            float* column = runs.columns[c].data() + runs.frames;
            const int slot = slotOfColumn[c];
            if (slot < 0) {
                std::fill(column, column + length, 0.0f);
                continue;
            }
            for (std::size_t i = 0; i < length; ++i) column[i] = from[i * kChannels + slot];
        }
        runs.lengths.push_back(length);
        runs.frames += length;
    }
}

std::array<float*, LoudnessTaps::kChannels> LoudnessTaps::OutputRows() {
    Runs& runs = Room(true, SampleBlock::kFrames);
    std::array<float*, kChannels> rows{};
    for (int row = 0; row < kChannels; ++row) rows[row] = runs.columns[row].data() + runs.frames;
    return rows;
}

void LoudnessTaps::OutputWritten() {
    if (!gathering) return;
    Runs& runs = gathering->output;
    runs.lengths.push_back(SampleBlock::kFrames);
    runs.frames += SampleBlock::kFrames;
}

void LoudnessTaps::Settle() const {
    if (!queue) return;
    if (gathering) {
        gathering = nullptr;
        queue->Commit();
    }
    queue->Drain();
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
