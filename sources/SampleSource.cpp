// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/SampleSource.h"

namespace tavrisk {

namespace {

constexpr const char* kFormatTitle = "Tavrisk Internal Encoder Error";

}  // namespace

bool SampleSource::Refuse(const std::string& text, const std::string& title) {
    refused = true;
    return Fail(text, title);
}

bool SampleSource::CheckInputRate(int fileRate) {
    if (fileRate == inputRate) return true;
    return Fail("The input '" + fileName + "' is at " + std::to_string(fileRate) +
                    " Hz, but the input frequency is set to " + std::to_string(inputRate) + " Hz",
                kFormatTitle);
}

bool SampleSource::PollStop() {
    float percent = 0.0f;
    if (pass == Pass::kAnalysis) percent = PassPercent(kAnalysisShare);
    if (pass == Pass::kOutput) percent = OutputPercent();
    if (host.UpdateProgress(percent, false) || host.StopRequested()) stopSeen = true;
    return stopSeen;
}

bool SampleSource::StartPasses() {
    if (normalizeEnabled) {
        pass = Pass::kAnalysis;
        if (!AnalysisPass()) return false;
        host.UpdateProgress(kAnalysisShare, true);
    }
    return PrepareOutputPass();
}

bool SampleSource::AnalysisPass() {
    chain.StartAnalysis();
    for (;;) {
        if (host.UpdateProgress(PassPercent(kAnalysisShare), false) || host.StopRequested()) {
            return false;
        }
        chain.SetControls(host.CurrentChannelControls());
        InputRun run;
        const InputStatus status = ReadInput(run);
        if (status == InputStatus::kEnd) break;
        if (status == InputStatus::kFailed) return false;
        Analyze(run);
    }
    if (stopSeen) return false;
    EndAnalysisPass();
    return RewindInput();
}

bool SampleSource::Refill() {
    InputRun run;
    if (ReadInput(run) != InputStatus::kFrames) return false;
    Push(run);
    if (host.UpdateProgress(OutputPercent(), false)) stopSeen = true;
    return true;
}

bool SampleSource::FillChain() {
    while (!chain.BlockReady() && !inputDone && !stopSeen) {
        if (!Refill()) EndOfInput();
    }
    return true;
}

}  // namespace tavrisk
