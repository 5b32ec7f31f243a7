// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "dsp/ChannelProcessor.h"
#include "dsp/LoudnessMeter.h"
#include "dsp/SampleBlock.h"
#include "engines/WorkerQueue.h"

namespace tavrisk {

// The two points where a job's loudness is measured: its input frames as routed into the
// columns (before gains and dynamics), and the blocks it delivers to the engine. The meters
// run on a thread of their own: each run is copied once, into the columns the meters take,
// and measured while the chain goes on; the figures wait for the runs handed over.
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
    // The output's blocks on the meters' scale: each value made a float and divided by full
    // scale, in single precision.
    static constexpr float kMeterScale = ChannelProcessor::kSampleScale;
    bool MeasuresOutput() const { return output.Started(); }
    // Where the next output block goes on the meters' scale, a row of SampleBlock::kFrames
    // values per block row; measured once OutputWritten says it is there.
    std::array<float*, kChannels> OutputRows();
    void OutputWritten();

    LoudnessFigures Input() const;
    LoudnessFigures Output() const;
    // Hands over what is gathered and waits until every run was measured.
    void Settle() const;
    // True (once) when an input channel's true peak rose since the last call; `levelsDb`
    // then holds them in column order. The peaks of the runs measured so far: Settle first
    // for those of every run handed over.
    bool InputPeaksRose(std::array<float, kChannels>& levelsDb);

  private:
    // Runs of each column's samples, as the meters take them, for one meter: gathered a few
    // blocks at a time, as handing over each run alone would cost more than measuring it.
    // Each run is measured as it came.
    struct Runs {
        std::array<std::vector<float>, kChannels> columns;
        std::vector<std::size_t> lengths;
        std::size_t frames = 0;
    };
    struct TapRuns {
        Runs input;
        Runs output;
    };
    static constexpr std::size_t kQueuedRuns = 6;
    static constexpr std::size_t kGatheredBlocks = 8;

    const LoudnessMeter& InputMeter() const { return MeasuresInput() ? input : output; }
    // Where the next `length` frames for the input or the output meter go: the runs being
    // gathered, handed over first when full.
    Runs& Room(bool forOutput, std::size_t length);
    // The measuring thread's work on one handover.
    bool Measure(const TapRuns& runs);

    Points points = Points::kInputAndOutput;
    LoudnessMeter input;
    LoudnessMeter output;
    std::size_t runCapacity = 0;
    // The input meter's true peaks, as the measuring thread left them after its last run.
    mutable std::mutex peaksLock;
    std::array<double, kChannels> measuredPeaks{};
    std::array<double, kChannels> shownPeaks{};
    // Made last, ended first: its thread uses the meters.
    std::unique_ptr<WorkerQueue<TapRuns>> queue;
    // Being gathered (null when nothing is).
    mutable TapRuns* gathering = nullptr;
};

}  // namespace tavrisk
