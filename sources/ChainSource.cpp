#include "sources/ChainSource.h"

namespace tavrisk {

namespace {

constexpr int kMsPerSecond = 1000;

}  // namespace

ChainSource::ChainSource(JobHost& host, const JobSettings& settings, Behaviour behaviour)
    : host(host),
      inputRate(settings.inputRate),
      outputRate(settings.outputRate),
      resample(settings.resample),
      resampler(settings.resampler),
      resyncMs(settings.resyncMs),
      chain(settings.channels, behaviour.lastBlock),
      appliesResync(behaviour.appliesResync) {
    normalizeEnabled = chain.NormalizeEnabled();
}

ChainSource::~ChainSource() = default;

bool ChainSource::SkipAhead(int32_t&) {
    return true;
}

bool ChainSource::Fail(const std::string& text, const std::string& title) {
    lastError = text;
    host.MessageBox(text, title, MessageButtons::Ok, MessageIcon::Stop);
    return false;
}

bool ChainSource::Open(const std::string& name) {
    fileName = name;
    pass = Pass::kOpening;
    inputDone = stopSeen = ended = false;
    if (const auto failure = chain.Start(name, resample, resampler, inputRate, outputRate)) {
        return Fail(failure->text, failure->title);
    }
    host.UpdateProgress(0.0f, true);
    if (!OpenInput() || !StartPasses()) {
        Close();
        return false;
    }
    return true;
}

void ChainSource::Analyze(const InputRun& run) {
    if (chain.Analyze(run.frames, run.count)) host.ShowPeakLevels(Processor().PeakLevelsDb());
}

bool ChainSource::PrepareOutputPass() {
    pass = Pass::kOutput;
    if (!appliesResync) return true;
    int32_t unskippedMs = resyncMs;
    if (!SkipAhead(unskippedMs)) return false;
    // Silence is inserted and input skipped after the rate conversion: output frames.
    chain.SetResync(static_cast<int32_t>(int64_t{outputRate} * unskippedMs / kMsPerSecond));
    return true;
}

bool ChainSource::ApplyResync() {
    const auto failure = chain.ApplyResync();
    if (!failure) return true;
    Fail(failure->text, failure->title);
    ended = true;
    return false;
}

bool ChainSource::Process(const InputRun& run) {
    if (ended || !ApplyResync()) return false;
    chain.Push(run.frames, run.count);
    return true;
}

void ChainSource::EndOfInput() {
    if (inputDone) return;
    inputDone = true;
    chain.EndOfInput();
}

float ChainSource::CurrentPercent() const {
    return pass == Pass::kAnalysis ? PassPercent(kAnalysisShare) : OutputPercent();
}

float ChainSource::PassPercent(float share) const {
    const double size = InputSize();
    if (size <= 0.0) return 0.0f;
    return static_cast<float>(InputPosition() * share / size);
}

float ChainSource::OutputPercent() const {
    const float percent = PassPercent(kFullPercent);
    return normalizeEnabled ? percent * 0.5f + kAnalysisShare : percent;
}

BlockRead ChainSource::ReadBlock(SampleBlock& block) {
    // Once the input was read whole, its last blocks come out whatever stop is asked.
    if (ended || (host.StopRequested() && !inputDone)) return Ending();
    if (!ApplyResync()) return Ending();
    chain.SetControls(host.CurrentChannelControls());
    if (!FillChain()) return Ending();
    return Deliver(block);
}

BlockRead ChainSource::Deliver(SampleBlock& block) {
    const bool whole = chain.BlockReady();
    std::optional<ChainFailure> failure;
    const ProcessingChain::Delivery delivery = chain.Deliver(block, stopSeen, failure);
    // The input ended, failed or was stopped inside this block.
    if (!whole || stopSeen) ended = true;
    if (failure && lastError.empty()) Fail(failure->text, failure->title);
    if (delivery == ProcessingChain::Delivery::kBlock) return {BlockOutcome::kBlock, {}};
    return Ending();
}

BlockRead ChainSource::Ending() const {
    if (!lastError.empty()) return {BlockOutcome::kFailed, lastError};
    if (inputDone && !stopSeen) return {BlockOutcome::kEnd, {}};
    return {BlockOutcome::kStopped, {}};
}

}  // namespace tavrisk
