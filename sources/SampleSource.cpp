#include "sources/SampleSource.h"

#include <algorithm>

namespace tavrisk {

namespace {

constexpr int kMsPerSecond = 1000;
constexpr const char* kResyncTitle = "Tavrisk resynch";
constexpr const char* kNoSamplesTitle = "File Open Error";
constexpr const char* kFormatTitle = "Tavrisk Internal Encoder Error";
constexpr const char* kResamplerTitle = "Tavrisk Internal Encoder Error";

// Column order L, R, C, LFE, LS, RS from the input order L, C, R, LS, RS, LFE.
constexpr ChannelProcessor::FrameLayout kInputOfColumn = {0, 2, 1, 5, 3, 4};

}  // namespace

SampleSource::SampleSource(JobHost& host, Behaviour behaviour)
    : host(host), behaviour(behaviour), processor(host.ChannelSettingsForJob()) {
    normalizeEnabled = processor.NormalizeEnabled();
}

SampleSource::~SampleSource() = default;

bool SampleSource::SkipAhead(int32_t&) {
    return true;
}

bool SampleSource::Fail(const std::string& text, const std::string& title) {
    lastError = text;
    host.MessageBox(text, title, MessageButtons::Ok, MessageIcon::Stop);
    return false;
}

bool SampleSource::Refuse(const std::string& text, const std::string& title) {
    refused = true;
    return Fail(text, title);
}

bool SampleSource::CheckInputRate(int fileRate) {
    const int selected = host.GetInputRate();
    if (fileRate == selected) return true;
    return Fail("The input '" + fileName + "' is at " + std::to_string(fileRate) +
                    " Hz, but the input frequency is set to " + std::to_string(selected) + " Hz",
                kFormatTitle);
}

bool SampleSource::PollStop() {
    float percent = 0.0f;
    if (pass == Pass::kAnalysis) percent = PassPercent(kAnalysisShare);
    if (pass == Pass::kOutput) percent = OutputPercent();
    if (host.UpdateProgress(percent, false) || host.StopRequested()) stopSeen = true;
    return stopSeen;
}

bool SampleSource::Open(const std::string& name) {
    fileName = name;
    pass = Pass::kOpening;
    resamplingNeeded = host.ResamplingNeeded();
    resampler.reset();
    if (resamplingNeeded) {
        std::string error;
        resampler = CreateResampler(host.GetResamplerKind(), error);
        if (!resampler) return Fail(error, kResamplerTitle);
    }
    processed.resize(kMaxRunFrames);
    queue.resize(SampleBlock::kFrames +
                 (resampler ? resampler->MaxOutput(kMaxRunFrames) : kMaxRunFrames));
    queueStart = queueEnd = 0;
    silenceLeft = skipLeft = 0;
    skipping = inputDone = stopSeen = ended = deliveredAny = false;
    resyncFrames = 0;
    resyncPending = false;

    host.UpdateProgress(0.0f, true);
    if (!OpenInput()) {
        Close();
        return false;
    }
    if (normalizeEnabled) {
        pass = Pass::kAnalysis;
        // A pushed source's analysis pass comes later, from outside.
        if (behaviour.pushed) {
            processor.ResetPeaks();
            return true;
        }
        if (!AnalysisPass()) {
            Close();
            return false;
        }
        host.UpdateProgress(kAnalysisShare, true);
    }
    if (!PrepareOutputPass()) {
        Close();
        return false;
    }
    return true;
}

bool SampleSource::PrepareOutputPass() {
    pass = Pass::kOutput;
    if (!behaviour.appliesResync) return true;
    int32_t resyncMs = host.GetResyncMs();
    if (!SkipAhead(resyncMs)) return false;
    // Silence is inserted and input skipped after the rate conversion: output frames.
    resyncFrames = static_cast<int32_t>(int64_t{host.GetOutputRate()} * resyncMs / kMsPerSecond);
    resyncPending = true;
    return true;
}

void SampleSource::PushAnalysis(const InputRun& run) {
    processor.SetControls(host.CurrentChannelControls());
    if (processor.AnalyzeRun(run.frames, run.count, kInputOfColumn))
        host.ShowPeakLevels(processor.PeakLevelsDb());
}

bool SampleSource::EndAnalysisPass() {
    processor.ComputeNormalizeGains();
    return PrepareOutputPass();
}

bool SampleSource::PushOutput(const InputRun& run) {
    if (ended) return false;
    if (resyncPending) {
        resyncPending = false;
        if (!StartResync()) {
            ended = true;
            return false;
        }
    }
    Feed(run);
    return true;
}

bool SampleSource::BlockReady() const {
    return !ended && Available() == SampleBlock::kFrames;
}

void SampleSource::EndOfInput() {
    if (inputDone) return;
    inputDone = true;
    FlushResampler();
}

float SampleSource::CurrentPercent() const {
    return pass == Pass::kAnalysis ? PassPercent(kAnalysisShare) : OutputPercent();
}

std::size_t SampleSource::Available() const {
    return static_cast<std::size_t>(
        std::min<int64_t>(silenceLeft + static_cast<int64_t>(Queued()), SampleBlock::kFrames));
}

float SampleSource::PassPercent(float share) const {
    const double size = InputSize();
    if (size <= 0.0) return 0.0f;
    return static_cast<float>(InputPosition() * share / size);
}

float SampleSource::OutputPercent() const {
    const float percent = PassPercent(kFullPercent);
    return normalizeEnabled ? percent * 0.5f + kAnalysisShare : percent;
}

bool SampleSource::AnalysisPass() {
    processor.ResetPeaks();
    for (;;) {
        if (host.UpdateProgress(PassPercent(kAnalysisShare), false) || host.StopRequested()) {
            return false;
        }
        processor.SetControls(host.CurrentChannelControls());
        InputRun run;
        const InputStatus status = ReadInput(run);
        if (status == InputStatus::kEnd) break;
        if (status == InputStatus::kFailed) return false;
        if (processor.AnalyzeRun(run.frames, run.count, kInputOfColumn))
            host.ShowPeakLevels(processor.PeakLevelsDb());
    }
    if (stopSeen) return false;
    processor.ComputeNormalizeGains();
    return RewindInput();
}

bool SampleSource::StartResync() {
    if (resyncFrames > kMaxInsertFrames) return Fail("Resync overflow", kResyncTitle);
    if (resyncFrames > 0) silenceLeft = resyncFrames;
    if (resyncFrames < 0) {
        skipLeft = -int64_t{resyncFrames};
        skipping = true;
    }
    return true;
}

void SampleSource::MakeRoom(std::size_t count) {
    // The frames still queued are fewer than a block.
    if (queueStart > 0) {
        std::copy(queue.begin() + queueStart, queue.begin() + queueEnd, queue.begin());
        queueEnd -= queueStart;
        queueStart = 0;
    }
    if (queue.size() < queueEnd + count) queue.resize(queueEnd + count);
}

void SampleSource::Feed(const InputRun& run) {
    for (std::size_t done = 0; done < run.count;) {
        const std::size_t count = std::min(run.count - done, kMaxRunFrames);
        MakeRoom(resampler ? resampler->MaxOutput(count) : count);

        // Column order is the block-row order of a processed frame.
        Frame* target = resampler ? processed.data() : queue.data() + queueEnd;
        processor.ProcessRun(run.frames + done * kChannels, count, kInputOfColumn, target);
        queueEnd +=
            resampler ? resampler->Push(processed.data(), count, queue.data() + queueEnd) : count;
        done += count;
    }
    SkipQueued();
}

void SampleSource::FlushResampler() {
    if (!resampler) return;
    MakeRoom(resampler->MaxOutput(0));
    queueEnd += resampler->Flush(queue.data() + queueEnd);
    SkipQueued();
}

void SampleSource::SkipQueued() {
    if (skipping) {
        const auto dropped = static_cast<std::size_t>(std::min<int64_t>(skipLeft, Queued()));
        queueStart += dropped;
        skipLeft -= static_cast<int64_t>(dropped);
        if (skipLeft == 0 && Queued() > 0) skipping = false;
    }
}

bool SampleSource::Refill() {
    InputRun run;
    if (ReadInput(run) != InputStatus::kFrames) return false;
    Feed(run);
    if (host.UpdateProgress(OutputPercent(), false)) stopSeen = true;
    return true;
}

void SampleSource::Take(SampleBlock& block, std::size_t count) {
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
    // Frame by frame: each frame's six values are read once, in a row.
    double* first = block.Row(0) + silent;
    for (std::size_t i = 0; i < taken; ++i) {
#pragma GCC unroll 6
        for (std::size_t row = 0; row < SampleBlock::kChannels; ++row)
            first[row * SampleBlock::kFrames + i] = static_cast<double>(frames[i][row]);
    }
    queueStart += taken;
}

bool SampleSource::ReadBlock(SampleBlock& block) {
    // Once the input was read whole, its last blocks come out whatever stop is asked.
    if (ended || (host.StopRequested() && !inputDone)) return false;
    if (resyncPending) {
        resyncPending = false;
        if (!StartResync()) {
            ended = true;
            return false;
        }
    }
    processor.SetControls(host.CurrentChannelControls());
    while (!behaviour.pushed && Available() < SampleBlock::kFrames && !inputDone && !stopSeen) {
        if (!Refill()) {
            inputDone = true;
            FlushResampler();
        }
    }
    // A pushed source is asked for a block only when one is ready or its input has ended.
    if (behaviour.pushed && !inputDone && Available() < SampleBlock::kFrames) return false;
    const std::size_t count = Available();
    if (count == SampleBlock::kFrames) {
        Take(block, count);
        deliveredAny = true;
        if (stopSeen) ended = true;
        return true;
    }
    // The input ended, failed or was stopped inside this block.
    ended = true;
    if (skipping) {
        // A skip that reached past the end leaves nothing to deliver.
        if (!stopSeen && lastError.empty()) {
            Fail("The resync skip reaches past the end of '" + fileName + "'", kResyncTitle);
        }
        return false;
    }
    if (count == 0 && !deliveredAny && !stopSeen) {
        if (lastError.empty()) Fail("No samples to read in '" + fileName + "'", kNoSamplesTitle);
        return false;
    }
    const bool emptyBlockWanted = behaviour.lastBlock == LastBlock::kPaddedAlways && !stopSeen;
    if (count == 0 && !emptyBlockWanted) return false;
    deliveredAny = true;
    Take(block, count);
    return true;
}

}  // namespace tavrisk
