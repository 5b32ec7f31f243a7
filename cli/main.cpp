// SPDX-License-Identifier: GPL-3.0-or-later
// tavrisk-cli: the transcoder without a window, for scripts and batch use.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "ProjectVersion.h"
#include "app/InputKinds.h"
#include "app/OutputEngines.h"
#include "app/jobs/KeptOutputs.h"
#include "app/jobs/StreamDiagnostics.h"
#include "app/jobs/TranscodeJob.h"
#include "app/jobs/WindowJobHost.h"
#include "app/model/GraphSession.h"
#include "app/model/LoudnessSetting.h"
#include "app/model/TranscoderApp.h"
#include "app/model/TranscoderDialog.h"
#include "app/model/WavOrderSetting.h"
#include "cli/CommandLine.h"
#include "cli/DemoInput.h"
#include "cli/ExitStatus.h"
#include "cli/LoudnessReport.h"
#include "cli/Mp2Commands.h"
#include "cli/PipelineWakeUp.h"
#include "cli/TerminalEditorHost.h"
#include "cli/TerminalInterface.h"
#include "graph/WrapperSink.h"
#include "platform/LibraryLog.h"
#include "platform/SameFile.h"

namespace {

using tavrisk::ExitStatus;

constexpr int kGraphTickMs = 100;

ExitStatus ExitStatusOf(tavrisk::TranscodeJob::Outcome outcome) {
    using Outcome = tavrisk::TranscodeJob::Outcome;
    switch (outcome) {
        case Outcome::Done:
            return tavrisk::kExitDone;
        case Outcome::DoneWithWarnings:
            return tavrisk::kExitWarnings;
        case Outcome::Stopped:
            return tavrisk::kExitStopped;
        case Outcome::Refused:
            return tavrisk::kExitRefused;
        case Outcome::Failed:
        case Outcome::Running:
            break;
    }
    return tavrisk::kExitFailed;
}

// The WAV order the settings file sets (a value it cannot read is told, and the standard
// order used).
tavrisk::WavChannelOrder SettingsFileWavOrder(const tavrisk::TranscoderApp& app) {
    std::string problem;
    const auto order = tavrisk::WavOrderSetting::Read(app.iniPath, problem);
    if (!problem.empty()) std::fprintf(stderr, "tavrisk-cli: warning: %s\n", problem.c_str());
    return order;
}

// `decode`, in the settings file's WAV order unless its options say otherwise.
ExitStatus Decode(const std::vector<std::string>& args, bool progress) {
    tavrisk::TranscoderApp app;
    app.InitInstance();
    return tavrisk::RunDecodeCommand(args, std::cout, std::cerr, progress,
                                     SettingsFileWavOrder(app));
}

// `--list-streams FILE`: the file's audio tracks on standard output, one a line; the one a
// job would read, and why, on standard error.
ExitStatus ListStreams(tavrisk::TranscoderDialog& window, const std::string& input) {
    if (!window.RenderInputFile(input)) return tavrisk::kExitRefused;
    for (const std::string& track : window.Controls().audioTrack.items)
        std::printf("%s\n", track.c_str());
    return tavrisk::kExitDone;
}

// The loudness target and ceiling the settings file sets (a value it cannot read is told);
// the kind is the command line's own: --normalize alone normalises the peaks.
void ApplySettingsFileLoudness(const tavrisk::TranscoderApp& app,
                               tavrisk::TranscoderDialog& window) {
    std::string problem;
    tavrisk::LoudnessNormalization values = tavrisk::LoudnessSetting::Read(app.iniPath, problem);
    if (!problem.empty()) std::fprintf(stderr, "tavrisk-cli: warning: %s\n", problem.c_str());
    values.kind = tavrisk::NormalizeKind::kPeak;
    window.SetLoudnessNormalization(values);
}

// A report file is not written over the input, nor over an existing file without --yes.
bool CheckReportName(const tavrisk::CliOptions& options) {
    if (!options.report) return true;
    const std::string& report = *options.report;
    std::vector<std::string> inputs = options.batchFiles;
    if (!options.batch) inputs = {options.input, options.output};
    for (const std::string& file : inputs) {
        if (!file.empty() && tavrisk::IsSameFile(report, file)) {
            std::fprintf(stderr, "tavrisk-cli: the report '%s' would overwrite '%s'\n",
                         report.c_str(), file.c_str());
            return false;
        }
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(report).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        std::fprintf(stderr, "tavrisk-cli: the report's folder '%s' does not exist\n",
                     folder.c_str());
        return false;
    }
    if (std::filesystem::is_directory(report, ec)) {
        std::fprintf(stderr, "tavrisk-cli: the report '%s' is a folder\n", report.c_str());
        return false;
    }
    if (std::filesystem::exists(report, ec) && !options.yes) {
        std::fprintf(stderr, "tavrisk-cli: the report '%s' exists: use --yes to replace it\n",
                     report.c_str());
        return false;
    }
    return true;
}

ExitStatus Transcode(const std::vector<std::string>& args, bool measure = false) {
    std::string error;
    const auto options = tavrisk::CommandLine::Parse(args, error, measure);
    if (!options) {
        std::fprintf(stderr, "tavrisk-cli: %s\n\n%s", error.c_str(),
                     tavrisk::CommandLine::Usage().c_str());
        return tavrisk::kExitUsage;
    }
    if (options->help) {
        std::fputs(tavrisk::CommandLine::Usage().c_str(), stdout);
        return tavrisk::kExitDone;
    }
    if (options->version) {
        std::printf("%s (tavrisk-cli %s)\n", tavrisk::TranscoderDialog::kTitle, TAVRISK_VERSION);
        return tavrisk::kExitDone;
    }
    if (!CheckReportName(*options)) return tavrisk::kExitRefused;
    tavrisk::TranscoderApp app;
    app.InitInstance();
    tavrisk::TerminalInterface ui(options->yes);
    // The terminal interface draws the progress line: the encoder's frame counter would
    // compete with it.
    tavrisk::AllowEncoderFrameCounter(false);
    static tavrisk::StreamDiagnostics diagnostics(stdout, stderr);
    tavrisk::SetEncoderDiagnostics(&diagnostics);
    tavrisk::TranscoderDialog window(ui);
    tavrisk::WindowJobHost jobs(window);
    ui.Attach(window, jobs);
    window.SetWavOrder(SettingsFileWavOrder(app));
    ApplySettingsFileLoudness(app, window);
    // Graph processing: the pipeline and its editor, without dialogs. The catalogue learns
    // the elements of a graph as they come (the whole registry is not read).
    tavrisk::TerminalEditorHost editorHost(ui);
    tavrisk::PipelineWakeUp pipelineWakeUp;  // outlives the pipeline that calls it
    std::unique_ptr<tavrisk::GraphSession> graph;
    if (options->graph) {
        graph = std::make_unique<tavrisk::GraphSession>(editorHost, "", "");
        if (!graph->Start(pipelineWakeUp.Notifier(), error)) {
            std::fprintf(stderr, "tavrisk-cli: graph processing is not available: %s\n",
                         error.c_str());
            return tavrisk::kExitRefused;
        }
        graph->Catalogue().FindByClassId(tavrisk::kWrapperFactoryName);
        window.AttachGraph(graph.get());
    }
    // The input frequency follows the input file's own rate unless an option says otherwise.
    window.SetInputRateProbe(tavrisk::ProbeNativeInputRate);
    if (!tavrisk::CommandLine::Apply(*options, window, error)) {
        std::fprintf(stderr, "tavrisk-cli: %s\n", error.c_str());
        return tavrisk::kExitUsage;
    }
    if (options->listStreams) return ListStreams(window, options->input);
    for (const std::string& warning : tavrisk::CommandLine::Warnings(*options))
        std::fprintf(stderr, "tavrisk-cli: warning: %s\n", warning.c_str());
    tavrisk::TranscodeJob job(jobs);
    // Asked for, or kept in the settings file.
    if (options->priorityItem || window.SelectedPriority() != tavrisk::ProcessPriority::kNormal)
        job.ApplyPriority();
    auto outcome = job.OnTranscode();
    if (outcome == tavrisk::TranscodeJob::Outcome::Running) {
        // A graph job: its timer, ticking faster than a window's since nobody watches; a
        // message of the pipeline between ticks ends the job as soon as the pipeline ends.
        auto nextTick = std::chrono::steady_clock::now();
        while (true) {
            nextTick += std::chrono::milliseconds(kGraphTickMs);
            while (pipelineWakeUp.WaitUntil(nextTick) && jobs.OnPipelineEvent()) {
            }
            ui.PumpMessages();
            if (!jobs.HasRunningJob() || !jobs.OnTimer()) break;
        }
        ui.PumpMessages();
        outcome = jobs.FinishedOutcome();
    }
    // A signal that came as the job was ending, too late to stop it, still ends the process
    // as a stop: its output is whole and kept.
    using Outcome = tavrisk::TranscodeJob::Outcome;
    if (ui.StopSignal() != 0 && (outcome == Outcome::Done || outcome == Outcome::DoneWithWarnings))
        outcome = Outcome::Stopped;
    ExitStatus code = ExitStatusOf(outcome);
    const std::vector<tavrisk::JobLoudness>& loudness = jobs.LoudnessReports();
    if (options->measure && !loudness.empty())
        std::printf("%s\n", tavrisk::LoudnessReport::TruePeakLine(loudness.back().input).c_str());
    if (options->report && (!loudness.empty() || outcome != Outcome::Refused)) {
        if (!tavrisk::LoudnessReport::Write(*options->report, loudness, error)) {
            std::fprintf(stderr, "tavrisk-cli: %s\n", error.c_str());
            if (code == tavrisk::kExitDone || code == tavrisk::kExitWarnings)
                code = tavrisk::kExitFailed;
        }
    }
    // The libraries' messages were caught and counted in the summary; shown on request.
    for (const std::string& line : tavrisk::LibraryLog::TakeLines()) {
        if (options->verbose)
            std::fprintf(stderr, "%s: %s\n", options->input.c_str(), line.c_str());
    }
    if (outcome == Outcome::Stopped) {
        std::fprintf(stderr, "%s\n", tavrisk::StopReport(jobs.JobOutputs()).c_str());
        // 128 + the signal, as a shell reports a process ended by it.
        if (ui.StopSignal() != 0)
            code = static_cast<ExitStatus>(tavrisk::kExitSignalBase + ui.StopSignal());
    }
    app.ExitInstance();
    return code;
}

// `demo [FOLDER]`: writes the built-in input into FOLDER and transcodes it with the default
// settings (and any further options).
ExitStatus Demo(const std::vector<std::string>& args) {
    std::vector<std::string> rest = args;
    std::string folder = "demo-output";
    if (!rest.empty() && rest.front().rfind("-", 0) != 0) {
        folder = rest.front();
        rest.erase(rest.begin());
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string input = folder + "/tavrisk-demo-input.wav";
    std::string error;
    if (!tavrisk::DemoInput::Write(input, error)) {
        std::fprintf(stderr, "tavrisk-cli: %s\n", error.c_str());
        return tavrisk::kExitFailed;
    }
    // The output is named for the engine, as the window names it.
    const tavrisk::OutputEngineKind* engine = &tavrisk::OutputEngineKinds().front();
    for (std::size_t i = 0; i + 1 < rest.size(); ++i) {
        if (rest[i] != "--engine") continue;
        const int item = tavrisk::OutputEngineItemNamed(rest[i + 1]);
        if (item >= 0) engine = tavrisk::OutputEngineOfItem(item);
    }
    const std::string output =
        folder + "/tavrisk-demo" + (engine->writesFolder ? "/" : engine->extension);
    std::fprintf(stderr, "Input:  %s (six tones, 48 kHz, %d s)\nOutput: %s\n", input.c_str(),
                 tavrisk::DemoInput::kSeconds, output.c_str());
    std::vector<std::string> job = {input, output, "--yes"};
    job.insert(job.end(), rest.begin(), rest.end());
    const ExitStatus code = Transcode(job);
    if (code == tavrisk::kExitDone) std::fprintf(stderr, "Done: %s\n", output.c_str());
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string command = args.empty() ? "" : args.front();
    const bool progress = ::isatty(STDERR_FILENO) != 0;
    if (command == "demo") return Demo({args.begin() + 1, args.end()});
    if (command == "check")
        return tavrisk::RunCheckCommand({args.begin() + 1, args.end()}, std::cout, std::cerr,
                                        progress);
    if (command == "decode") return Decode({args.begin() + 1, args.end()}, progress);
    if (command == "info")
        return tavrisk::RunInfoCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
    if (command == "measure") return Transcode({args.begin() + 1, args.end()}, true);
    return Transcode(args);
}
