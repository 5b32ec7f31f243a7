// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ProcessingChain.h"

#include <algorithm>

#include "dsp/FrameRows.h"
#include "dsp/KernelChoice.h"

namespace tavrisk {

namespace {

constexpr const char* kNoSamplesTitle = "File Open Error";
constexpr const char* kResamplerTitle = "Tavrisk Internal Encoder Error";

// Frames into the block's rows, and into the copy's rows where one is asked.
[[gnu::always_inline]] inline void FramesToBlockRows(const float* frames, std::size_t count,
                                                     double* const* rows,
                                                     const ProcessingChain::ScaledCopy* copy) {
    if (copy) {
        frame_rows::FramesToRows<true>(frames, count, rows, copy->rows.data(), copy->scale);
    } else {
        frame_rows::FramesToRows(frames, count, rows);
    }
}

void FramesToRowsPlain(const float* frames, std::size_t count, double* const* rows,
                       const ProcessingChain::ScaledCopy* copy) {
    FramesToBlockRows(frames, count, rows, copy);
}

[[gnu::target("avx2")]] void FramesToRowsAvx2(const float* frames, std::size_t count,
                                              double* const* rows,
                                              const ProcessingChain::ScaledCopy* copy) {
    FramesToBlockRows(frames, count, rows, copy);
}

const auto kFramesToRows = ChooseAvx2Kernel(FramesToRowsAvx2, FramesToRowsPlain);

}  // namespace

ProcessingChain::ProcessingChain(const ChannelJobSettings& settings, LastBlock lastBlock)
    : lastBlock(lastBlock), processor(settings) {}

ProcessingChain::~ProcessingChain() = default;

std::optional<ChainFailure> ProcessingChain::Start(const std::string& name, bool resample,
                                                   ResamplerKind kind, int inputRate,
                                                   int outputRate) {
    inputName = name;
    resampler.reset();
    if (resample) {
        std::string error;
        resampler = CreateResampler(kind, error, inputRate, outputRate);
        if (!resampler) return ChainFailure{error, kResamplerTitle};
    }
    processed.resize(kMaxRunFrames);
    queue.resize(SampleBlock::kFrames +
                 (resampler ? resampler->MaxOutput(kMaxRunFrames) : kMaxRunFrames));
    queueStart = queueEnd = 0;
    silenceLeft = skipLeft = 0;
    skipping = deliveredAny = false;
    resyncFrames = 0;
    resyncPending = false;
    return std::nullopt;
}

void ProcessingChain::SetInputOrder(const ChannelProcessor::FrameLayout& slotOfChannel) {
    for (int column = 0; column < kChannels; ++column)
        inputOfColumn[column] = slotOfChannel[kInputOfColumn[column]];
}

ChannelProcessor::FrameLayout ProcessingChain::RoutedInputLayout() const {
    ChannelProcessor::FrameLayout layout{};
    const auto& routing = processor.Controls().routing;
    for (int f = 0; f < kChannels; ++f) {
        const int from = routing[f];
        layout[f] = (from >= 0 && from < kChannels) ? inputOfColumn[from] : kUnrouted;
    }
    return layout;
}

bool ProcessingChain::Analyze(const float* frames, std::size_t count) {
    return processor.AnalyzeRun(frames, count, inputOfColumn);
}

void ProcessingChain::SetResync(int32_t frames) {
    resyncFrames = frames;
    resyncPending = true;
}

std::optional<ChainFailure> ProcessingChain::ApplyResync() {
    if (!resyncPending) return std::nullopt;
    resyncPending = false;
    if (resyncFrames > kMaxInsertFrames) return ChainFailure{"Resync overflow", kResyncTitle};
    if (resyncFrames > 0) silenceLeft = resyncFrames;
    if (resyncFrames < 0) {
        skipLeft = -int64_t{resyncFrames};
        skipping = true;
    }
    return std::nullopt;
}

std::size_t ProcessingChain::Available() const {
    return static_cast<std::size_t>(
        std::min<int64_t>(silenceLeft + static_cast<int64_t>(Queued()), SampleBlock::kFrames));
}

void ProcessingChain::MakeRoom(std::size_t count) {
    // The frames still queued (fewer than a block) move to the front only when the room
    // behind them is short.
    if (queueStart > 0 && queue.size() < queueEnd + count) {
        std::copy(queue.begin() + queueStart, queue.begin() + queueEnd, queue.begin());
        queueEnd -= queueStart;
        queueStart = 0;
    }
    if (queue.size() < queueEnd + count) queue.resize(queueEnd + count);
}

void ProcessingChain::Push(const float* frames, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
        const std::size_t run = std::min(count - done, kMaxRunFrames);
        MakeRoom(resampler ? resampler->MaxOutput(run) : run);

        // Column order is the block-row order of a processed frame.
        if (resampler) {
            processor.ProcessRun(frames + done * kChannels, run, inputOfColumn, processed.data(),
                                 ChannelProcessor::Rounding::kKeepFraction);
            Converted(resampler->Push(processed.data(), run, queue.data() + queueEnd));
        } else {
            processor.ProcessRun(frames + done * kChannels, run, inputOfColumn,
                                 queue.data() + queueEnd);
            queueEnd += run;
        }
        done += run;
    }
    SkipQueued();
}

void ProcessingChain::Converted(std::size_t count) {
    Frame* frames = queue.data() + queueEnd;
    for (std::size_t i = 0; i < count; ++i) {
        for (float& value : frames[i])
            value = static_cast<float>(ChannelProcessor::ClipAndRound(value));
    }
    queueEnd += count;
}

void ProcessingChain::EndOfInput() {
    if (!resampler) return;
    MakeRoom(resampler->MaxOutput(0));
    Converted(resampler->Flush(queue.data() + queueEnd));
    SkipQueued();
}

void ProcessingChain::SkipQueued() {
    if (skipping) {
        const auto dropped = static_cast<std::size_t>(std::min<int64_t>(skipLeft, Queued()));
        queueStart += dropped;
        skipLeft -= static_cast<int64_t>(dropped);
        if (skipLeft == 0 && Queued() > 0) skipping = false;
    }
}

void ProcessingChain::Take(SampleBlock& block, std::size_t count, const ScaledCopy* copy) {
    // Inserted silence first, then queued frames, then silence up to the block's end.
    const auto silent = static_cast<std::size_t>(std::min<int64_t>(silenceLeft, count));
    silenceLeft -= static_cast<int64_t>(silent);
    const Frame* frames = queue.data() + queueStart;
    const std::size_t taken = count - silent;
    std::array<double*, SampleBlock::kChannels> rows{};
    ScaledCopy shifted;
    for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
        double* values = block.Row(row);
        std::fill(values, values + silent, 0.0);
        std::fill(values + count, values + SampleBlock::kFrames, 0.0);
        rows[row] = values + silent;
        if (!copy) continue;
        float* scaled = copy->rows[row];
        std::fill(scaled, scaled + silent, 0.0f);
        std::fill(scaled + count, scaled + SampleBlock::kFrames, 0.0f);
        shifted.rows[row] = scaled + silent;
    }
    shifted.scale = copy ? copy->scale : 1.0f;
    kFramesToRows(frames->data(), taken, rows.data(), copy ? &shifted : nullptr);
    queueStart += taken;
    deliveredAny = true;
}

ProcessingChain::Delivery ProcessingChain::Deliver(SampleBlock& block, bool stopped,
                                                   std::optional<ChainFailure>& failure,
                                                   const ScaledCopy* copy) {
    const std::size_t count = Available();
    if (count == SampleBlock::kFrames) {
        Take(block, count, copy);
        return Delivery::kBlock;
    }
    if (skipping) {
        // A skip that reached past the end leaves nothing to deliver.
        if (stopped) return Delivery::kNone;
        failure = ChainFailure{"The resync skip reaches past the end of '" + inputName + "'",
                               kResyncTitle};
        return Delivery::kFailed;
    }
    if (count == 0 && !deliveredAny && !stopped) {
        failure = ChainFailure{"No samples to read in '" + inputName + "'", kNoSamplesTitle};
        return Delivery::kFailed;
    }
    const bool emptyBlockWanted = lastBlock == LastBlock::kPaddedAlways && !stopped;
    if (count == 0 && !emptyBlockWanted) return Delivery::kNone;
    Take(block, count, copy);
    return Delivery::kBlock;
}

}  // namespace tavrisk
