// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ChainSource.h"

namespace tavrisk {

namespace {

constexpr const char* kLoudnessTitle = "Loudness normalisation";

}  // namespace

ChainSource::ChainSource(JobHost& host, const JobSettings& settings, Behaviour behaviour)
    : host(host),
      inputRate(settings.inputRate),
      outputRate(settings.outputRate),
      resample(settings.resample),
      resampler(settings.resampler),
      resyncMs(settings.resyncMs),
      chain(settings.channels, behaviour.lastBlock),
      appliesResync(behaviour.appliesResync),
      normalization(settings.loudness),
      outputName(settings.measureOnly ? std::string() : settings.outputName),
      measureLoudness(settings.measureLoudness || settings.measureOnly) {
    normalizeEnabled = chain.NormalizeEnabled();
}

ChainSource::~ChainSource() = default;

bool ChainSource::SkipAhead(int32_t&) {
    return true;
}

bool ChainSource::Fail(const std::string& text, const std::string& title) {
    const Notice failure{Notice::Kind::kFailure, text, title};
    if (!HandOver(failure)) Tell(failure);
    return false;
}

void ChainSource::ShowStatus(const std::string& text) {
    const Notice status{Notice::Kind::kStatus, text, {}};
    if (!HandOver(status)) Tell(status);
}

void ChainSource::Warn(const std::string& text, const std::string& title) {
    const Notice warning{Notice::Kind::kWarning, text, title};
    if (!HandOver(warning)) Tell(warning);
}

bool ChainSource::HandOver(const Notice&) {
    return false;
}

void ChainSource::Tell(const Notice& notice) {
    switch (notice.kind) {
        case Notice::Kind::kStatus:
            host.SetStatusText(notice.text);
            return;
        case Notice::Kind::kWarning:
            host.ReportWarnings(notice.text, notice.title);
            return;
        case Notice::Kind::kFailure:
            lastError = notice.text;
            host.MessageBox(notice.text, notice.title, MessageButtons::Ok, MessageIcon::Stop);
            return;
    }
}

bool ChainSource::Open(const std::string& name) {
    fileName = name;
    pass = Pass::kOpening;
    inputDone = stopSeen = ended = false;
    if (const auto failure = chain.Start(name, resample, resampler, inputRate, outputRate)) {
        return Fail(failure->text, failure->title);
    }
    loudness.Start(MeasuredPoints(), inputRate, chain.Resampling() ? outputRate : inputRate,
                   kMaxRunFrames);
    loudnessGain.reset();
    loudnessWarned = false;
    host.UpdateProgress(0.0f, true);
    if (!OpenInput() || !StartPasses()) {
        Close();
        return false;
    }
    return true;
}

void ChainSource::Analyze(const InputRun& run) {
    const bool peaksRose = chain.Analyze(run.frames, run.count);
    // Unmeasured, the display shows the sample peaks.
    if (!loudness.Measures()) {
        if (peaksRose) host.ShowPeakLevels(Processor().PeakLevelsDb());
        return;
    }
    loudness.MeasureInput(run.frames, run.count, chain.RoutedInputLayout());
    ShowInputPeaks();
}

LoudnessTaps::Points ChainSource::MeasuredPoints() const {
    if (outputName.empty()) return LoudnessTaps::Points::kInputOnly;
    if (!measureLoudness) {
        return normalization.kind == NormalizeKind::kLoudness && normalizeEnabled
                   ? LoudnessTaps::Points::kInputOnly
                   : LoudnessTaps::Points::kNone;
    }
    const bool unchanged =
        !normalizeEnabled && !Processor().DynamicsEnabled() && !chain.Resampling() && resyncMs == 0;
    return unchanged ? LoudnessTaps::Points::kOutputIsInput : LoudnessTaps::Points::kInputAndOutput;
}

void ChainSource::ShowInputPeaks() {
    std::array<float, kChannels> levelsDb{};
    if (loudness.InputPeaksRose(levelsDb)) host.ShowPeakLevels(levelsDb);
}

void ChainSource::ShowLastInputPeaks() {
    if (!loudness.Measures()) return;
    loudness.Settle();
    ShowInputPeaks();
}

void ChainSource::EndAnalysisPass() {
    chain.EndAnalysis();
    ShowLastInputPeaks();
    if (normalization.kind != NormalizeKind::kLoudness) return;
    loudnessGain = LoudnessGain::Plan(loudness.Input(), normalization);
    chain.SetCommonGain(static_cast<float>(loudnessGain->Factor()));
}

JobLoudness ChainSource::Loudness() const {
    JobLoudness figures;
    figures.inputName = fileName;
    figures.input = loudness.Input();
    figures.outputName = outputName;
    if (!outputName.empty() && measureLoudness) figures.output = loudness.Output();
    figures.normalization = normalization;
    figures.gain = loudnessGain;
    return figures;
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
    Push(run);
    return true;
}

void ChainSource::Push(const InputRun& run) {
    // Without an analysis pass the input is measured on its way through.
    if (!normalizeEnabled && loudness.MeasuresInput()) {
        loudness.MeasureInput(run.frames, run.count, chain.RoutedInputLayout());
        ShowInputPeaks();
    }
    chain.Push(run.frames, run.count);
}

void ChainSource::EndOfInput() {
    if (inputDone) return;
    inputDone = true;
    chain.EndOfInput();
    if (!loudnessGain || !lastError.empty() || stopSeen) return;
    const std::string shortfall = loudnessGain->Shortfall(normalization);
    if (shortfall.empty()) return;
    loudnessWarned = true;
    host.ReportWarnings("'" + fileName + "': " + shortfall, kLoudnessTitle);
}

float ChainSource::CurrentPercent() const {
    return pass == Pass::kAnalysis ? PassPercent(kAnalysisShare) : OutputPercent();
}

float ChainSource::PassPercent(float share) const {
    const double size = InputSize();
    if (size <= 0.0) return 0.0f;
    return static_cast<float>(ProgressPosition() * share / size);
}

float ChainSource::OutputPercent() const {
    const float percent = PassPercent(kFullPercent);
    return normalizeEnabled ? percent * 0.5f + kAnalysisShare : percent;
}

BlockRead ChainSource::ReadBlock(SampleBlock& block) {
    // Once the input was read whole, its last blocks come out whatever stop is asked.
    if (ended || (host.StopRequested() && !inputDone && !StopDeferred())) return Ending();
    if (!ApplyResync()) return Ending();
    chain.SetControls(host.CurrentChannelControls());
    if (!FillChain()) return Ending();
    return Deliver(block);
}

BlockRead ChainSource::Deliver(SampleBlock& block) {
    const bool whole = chain.BlockReady();
    std::optional<ChainFailure> failure;
    // The output's meter takes the block as the chain writes it.
    std::optional<ProcessingChain::ScaledCopy> metered;
    if (!outputName.empty() && measureLoudness && loudness.MeasuresOutput())
        metered = ProcessingChain::ScaledCopy{loudness.OutputRows(), LoudnessTaps::kMeterScale};
    const ProcessingChain::Delivery delivery =
        chain.Deliver(block, stopSeen, failure, metered ? &*metered : nullptr);
    // The input ended, failed or was stopped inside this block.
    if (!whole || stopSeen) ended = true;
    if (failure && lastError.empty()) Fail(failure->text, failure->title);
    if (delivery == ProcessingChain::Delivery::kBlock) {
        if (metered) loudness.OutputWritten();
        if (ended) {
            ShowLastInputPeaks();
        } else if (!loudness.MeasuresInput()) {
            ShowInputPeaks();
        }
        return {BlockOutcome::kBlock, {}};
    }
    ShowLastInputPeaks();
    return Ending();
}

BlockRead ChainSource::Ending() const {
    if (!lastError.empty()) return {BlockOutcome::kFailed, lastError};
    if (inputDone && !stopSeen) return {BlockOutcome::kEnd, {}};
    return {BlockOutcome::kStopped, {}};
}

}  // namespace tavrisk
