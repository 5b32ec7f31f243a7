// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ProcessingChain.h"

#include <algorithm>

#include "dsp/KernelChoice.h"

namespace tavrisk {

namespace {

constexpr const char* kResyncTitle = "Tavrisk resynch";
constexpr const char* kNoSamplesTitle = "File Open Error";
constexpr const char* kResamplerTitle = "Tavrisk Internal Encoder Error";

// Eight values side by side, read from and written to any float or double.
typedef float Floats8 __attribute__((vector_size(32), aligned(4), may_alias));
typedef double Doubles8 __attribute__((vector_size(64), aligned(8), may_alias));
constexpr std::size_t kLanes = 8;
constexpr std::size_t kChannels = SampleBlock::kChannels;

// Of two vectors, per half: a's values i and j, then b's values k and l.
template <int i, int j, int k, int l>
[[gnu::always_inline]] inline void PickPairs(const Floats8& a, const Floats8& b, Floats8& out) {
    out = __builtin_shufflevector(a, b, i, j, 8 + k, 8 + l, 4 + i, 4 + j, 12 + k, 12 + l);
}

// `count` frames of six floats into six rows of doubles, eight frames at a time by shuffles:
// the frames' halves paired so that each half of a vector holds four frames, then each
// channel's four values gathered within the halves.
[[gnu::always_inline]] inline void FramesToRows(const float* frames, std::size_t count,
                                                double* const* rows) {
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const float* from = frames + i * kChannels;
        Floats8 q[kChannels];
        for (std::size_t k = 0; k < 3; ++k) {
            const Floats8 first = *reinterpret_cast<const Floats8*>(from + k * kLanes);
            const Floats8 second = *reinterpret_cast<const Floats8*>(from + (k + 3) * kLanes);
            q[2 * k] = __builtin_shufflevector(first, second, 0, 1, 2, 3, 8, 9, 10, 11);
            q[2 * k + 1] = __builtin_shufflevector(first, second, 4, 5, 6, 7, 12, 13, 14, 15);
        }
        // Per half, q[0..5] hold frames 0..3 in order; pairs of channels, then channels.
        Floats8 pairs[3][2];
        PickPairs<0, 1, 2, 3>(q[0], q[1], pairs[0][0]);
        PickPairs<0, 1, 2, 3>(q[3], q[4], pairs[0][1]);
        PickPairs<2, 3, 0, 1>(q[0], q[2], pairs[1][0]);
        PickPairs<2, 3, 0, 1>(q[3], q[5], pairs[1][1]);
        PickPairs<0, 1, 2, 3>(q[1], q[2], pairs[2][0]);
        PickPairs<0, 1, 2, 3>(q[4], q[5], pairs[2][1]);
        for (std::size_t p = 0; p < 3; ++p) {
            Floats8 even, odd;
            PickPairs<0, 2, 0, 2>(pairs[p][0], pairs[p][1], even);
            PickPairs<1, 3, 1, 3>(pairs[p][0], pairs[p][1], odd);
            *reinterpret_cast<Doubles8*>(rows[2 * p] + i) = __builtin_convertvector(even, Doubles8);
            *reinterpret_cast<Doubles8*>(rows[2 * p + 1] + i) =
                __builtin_convertvector(odd, Doubles8);
        }
    }
    for (; i < count; ++i) {
        for (std::size_t row = 0; row < kChannels; ++row)
            rows[row][i] = static_cast<double>(frames[i * kChannels + row]);
    }
}

void FramesToRowsPlain(const float* frames, std::size_t count, double* const* rows) {
    FramesToRows(frames, count, rows);
}

[[gnu::target("avx2")]] void FramesToRowsAvx2(const float* frames, std::size_t count,
                                              double* const* rows) {
    FramesToRows(frames, count, rows);
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

ChannelProcessor::FrameLayout ProcessingChain::RoutedInputLayout() const {
    ChannelProcessor::FrameLayout layout{};
    const auto& routing = processor.Controls().routing;
    for (int f = 0; f < kChannels; ++f) {
        const int from = routing[f];
        layout[f] = (from >= 0 && from < kChannels) ? kInputOfColumn[from] : kUnrouted;
    }
    return layout;
}

bool ProcessingChain::Analyze(const float* frames, std::size_t count) {
    return processor.AnalyzeRun(frames, count, kInputOfColumn);
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
            processor.ProcessRun(frames + done * kChannels, run, kInputOfColumn, processed.data(),
                                 ChannelProcessor::Rounding::kKeepFraction);
            Converted(resampler->Push(processed.data(), run, queue.data() + queueEnd));
        } else {
            processor.ProcessRun(frames + done * kChannels, run, kInputOfColumn,
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

void ProcessingChain::Take(SampleBlock& block, std::size_t count) {
    // Inserted silence first, then queued frames, then silence up to the block's end.
    const auto silent = static_cast<std::size_t>(std::min<int64_t>(silenceLeft, count));
    silenceLeft -= static_cast<int64_t>(silent);
    const Frame* frames = queue.data() + queueStart;
    const std::size_t taken = count - silent;
    for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
        double* values = block.Row(row);
        std::fill(values, values + silent, 0.0);
        std::fill(values + count, values + SampleBlock::kFrames, 0.0);
    }
    std::array<double*, SampleBlock::kChannels> rows{};
    for (std::size_t row = 0; row < SampleBlock::kChannels; ++row)
        rows[row] = block.Row(row) + silent;
    kFramesToRows(frames->data(), taken, rows.data());
    queueStart += taken;
    deliveredAny = true;
}

ProcessingChain::Delivery ProcessingChain::Deliver(SampleBlock& block, bool stopped,
                                                   std::optional<ChainFailure>& failure) {
    const std::size_t count = Available();
    if (count == SampleBlock::kFrames) {
        Take(block, count);
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
    Take(block, count);
    return Delivery::kBlock;
}

}  // namespace tavrisk
