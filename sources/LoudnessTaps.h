// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "dsp/ChannelProcessor.h"
#include "dsp/LoudnessMeter.h"
#include "dsp/SampleBlock.h"

namespace tavrisk {

// The two points where a job's loudness is measured: its input frames as routed into the
// columns (before gains and dynamics), and the blocks it delivers to the engine.
class LoudnessTaps {
  public:
    static constexpr int kChannels = LoudnessMeter::kChannels;

    // Which points are measured. A chain that passes its input through unchanged (no gain,
    // dynamics, rate conversion or resync) delivers the routed input itself: one meter,
    // on the output, stands for both. A job that writes nothing measures its input only.
    enum class Points { kInputAndOutput, kOutputIsInput, kInputOnly, kNone };

    // Meters at the input's and the output's rates, for runs of at most `maxRunFrames`.
    void Start(Points measured, int inputRate, int outputRate, std::size_t maxRunFrames);
    bool MeasuresInput() const {
        return points == Points::kInputAndOutput || points == Points::kInputOnly;
    }
    bool Measures() const { return points != Points::kNone; }
    // Input frames of six floats; `slotOfColumn` is where each column's sample sits in a
    // frame, or a negative value for a column fed by nothing.
    void MeasureInput(const float* frames, std::size_t count,
                      const ChannelProcessor::FrameLayout& slotOfColumn);
    void MeasureOutput(const SampleBlock& block);

    LoudnessFigures Input() const { return InputMeter().Figures(); }
    LoudnessFigures Output() const { return output.Figures(); }
    // True (once) when an input channel's true peak rose since the last call; `levelsDb`
    // then holds them in column order.
    bool InputPeaksRose(std::array<float, kChannels>& levelsDb);

  private:
    const LoudnessMeter& InputMeter() const { return MeasuresInput() ? input : output; }

    Points points = Points::kInputAndOutput;
    LoudnessMeter input;
    LoudnessMeter output;
    // Each column's samples of a run, as the meters take them.
    std::array<std::vector<float>, kChannels> routed;
    std::array<std::vector<float>, kChannels> delivered;
    std::array<double, kChannels> shownPeaks{};
};

}  // namespace tavrisk
