// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dsp/ChannelProcessor.h"
#include "dsp/Resampler.h"
#include "dsp/SampleBlock.h"
#include "platform/ClockUnits.h"

namespace tavrisk {

// The title of the boxes that tell why a resync cannot be made.
inline constexpr const char* kResyncTitle = "Tavrisk resynch";

// Why the chain cannot go on, for its source to report.
struct ChainFailure {
    std::string text;
    const char* title = "";
};

// The processing every input shares, whether its frames are pulled from a file or pushed in
// by a graph. Input frames (six floats, full scale +-1.0, in the order L, C, R, LS, RS, LFE)
// go through routing, gains and dynamics, the rate conversion where asked, and the resync
// offset (silence inserted or output skipped at the start), into blocks of 1152 frames, the
// last one filled up with silence. The values keep their fractions from stage to stage and
// are rounded to 16 bits once, after the last stage. Normalisation's analysis pass measures
// the peaks from which the gains are computed. The chain knows no host: its caller hands it
// the live controls and reports what it returns.
class ProcessingChain {
  public:
    static constexpr int kChannels = 6;
    // Silence that can be inserted at the start, in output frames.
    static constexpr int32_t kMaxInsertFrames = 2646000;
    // The most frames processed in one go; longer runs are cut.
    static constexpr std::size_t kMaxRunFrames = 4096;
    // Column order L, R, C, LFE, LS, RS from the input order L, C, R, LS, RS, LFE.
    static constexpr ChannelProcessor::FrameLayout kInputOfColumn = {0, 2, 1, 5, 3, 4};
    // The input order above, as SetInputOrder takes it.
    static constexpr ChannelProcessor::FrameLayout kUsualInputOrder = {0, 1, 2, 3, 4, 5};
    static constexpr int kUnrouted = -1;
    // A processed frame in block-row order L, R, C, LFE, LS, RS.
    using Frame = Resampler::Frame;
    // What happens to the frames left at the end of the input.
    enum class LastBlock {
        kPadded,        // frames left over make one more block, filled up with silence
        kPaddedAlways,  // one more block is delivered even when no frame is left over
    };

    ProcessingChain(const ChannelJobSettings& settings, LastBlock lastBlock);
    ~ProcessingChain();
    ProcessingChain(const ProcessingChain&) = delete;
    ProcessingChain& operator=(const ProcessingChain&) = delete;

    // Empties the chain for a new input of `inputName`, converting the rate from `inputRate`
    // to `outputRate` with a resampler of `kind` when `resample`; the failure when none can
    // be made.
    std::optional<ChainFailure> Start(const std::string& inputName, bool resample,
                                      ResamplerKind kind, int inputRate = Resampler::kInputRate,
                                      int outputRate = Resampler::kOutputRate);
    const ChannelProcessor& Processor() const { return processor; }
    bool NormalizeEnabled() const { return processor.NormalizeEnabled(); }
    bool Resampling() const { return resampler != nullptr; }
    void SetControls(const ChannelControls& controls) { processor.SetControls(controls); }
    // Input frames whose six values come in another order: where each of L, C, R, LS, RS,
    // LFE sits in a frame (0 .. 5 is the usual order).
    void SetInputOrder(const ChannelProcessor::FrameLayout& slotOfChannel);
    // Where each column's input sample sits in an input frame by the routing now in force
    // (kUnrouted for a column fed by nothing).
    ChannelProcessor::FrameLayout RoutedInputLayout() const;
    // Loudness normalisation: one gain for every channel, after the analysis pass.
    void SetCommonGain(float factor) { processor.SetCommonGain(factor); }

    // --- Analysis pass ----------------------------------------------------------------
    void StartAnalysis() { processor.ResetPeaks(); }
    // True when the peak levels changed.
    bool Analyze(const float* frames, std::size_t count);
    // The normalisation gains from the peaks measured.
    void EndAnalysis() { processor.ComputeNormalizeGains(); }

    // --- Output pass ------------------------------------------------------------------
    // The resync offset in output frames (positive inserts, negative skips); it takes
    // effect at ApplyResync.
    void SetResync(int32_t frames);
    int32_t ResyncFrames() const { return resyncFrames; }
    // Starts the offset set last, once; the failure when it cannot be inserted.
    std::optional<ChainFailure> ApplyResync();
    // Input frames through the chain into the queue of output frames.
    void Push(const float* frames, std::size_t count);
    // The end of the input: the frames the rate conversion held back join the queue.
    void EndOfInput();
    bool BlockReady() const { return Available() == SampleBlock::kFrames; }

    enum class Delivery {
        kBlock,  // `block` holds 1152 new frames
        kNone,   // nothing more to deliver
        kFailed  // nothing more to deliver, for the reason returned
    };
    // A second copy of a delivered block: six rows of SampleBlock::kFrames floats, each value
    // times `scale` in single precision.
    struct ScaledCopy {
        std::array<float*, kChannels> rows{};
        float scale = 1.0f;
    };
    // A whole block when one is queued. Otherwise (the input ended or was `stopped` inside
    // this block) the last, padded block or why there is none. A delivered block is also
    // written into `copy` where one is given.
    Delivery Deliver(SampleBlock& block, bool stopped, std::optional<ChainFailure>& failure,
                     const ScaledCopy* copy = nullptr);

  private:
    std::size_t Available() const;
    std::size_t Queued() const { return queueEnd - queueStart; }
    // Makes room for `count` more frames behind the queued ones, moving these to the front
    // when needed.
    void MakeRoom(std::size_t count);
    // The `count` frames the rate conversion just queued, clipped and rounded.
    void Converted(std::size_t count);
    // Drops queued frames while a negative resync offset is being skipped.
    void SkipQueued();
    void Take(SampleBlock& block, std::size_t count, const ScaledCopy* copy);

    LastBlock lastBlock;
    std::string inputName;
    ChannelProcessor processor;
    // Where each column's sample sits in an input frame.
    ChannelProcessor::FrameLayout inputOfColumn = kInputOfColumn;
    std::unique_ptr<Resampler> resampler;  // while resampling
    std::vector<Frame> processed;
    // Processed (and converted) frames waiting for a block: queue[queueStart, queueEnd).
    std::vector<Frame> queue;
    std::size_t queueStart = 0;
    std::size_t queueEnd = 0;

    int32_t resyncFrames = 0;
    bool resyncPending = false;
    int64_t silenceLeft = 0;
    int64_t skipLeft = 0;
    bool skipping = false;
    bool deliveredAny = false;
};

}  // namespace tavrisk
