// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/jobs/TranscodeJob.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/InputKinds.h"
#include "app/jobs/GraphJob.h"
#include "app/jobs/KeptOutputs.h"
#include "app/model/GraphSession.h"
#include "engines/EngineMessages.h"
#include "engines/MeasureEngine.h"
#include "graph/DvdTitle.h"
#include "platform/SameFile.h"
#include "sources/GraphPipeSource.h"

namespace tavrisk {

namespace {

constexpr const char* kFileIoError = "File I/O Error";

// Anything but a folder: a file or a device, or a link to one.
bool ExistsAsFile(const std::string& name) {
    struct stat info {};
    return ::stat(name.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool IsReadableFile(const std::string& name) {
    if (!ExistsAsFile(name)) return false;
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

// Inputs are read twice (the analysis pass) and sought in: a device, a pipe or a socket
// would block or give something else the second time.
bool IsSpecialFile(const std::string& name) {
    struct stat info {};
    return ::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

}  // namespace

TranscodeJob::Outcome TranscodeJob::OnTranscode() {
    host.MarkStart();
    // A refused field ends the press before any job of a batch.
    if (!model.UpdateData()) return Outcome::Refused;
    const std::vector<std::string> batch = model.Controls().batchList;
    if (batch.empty()) return RunJob();
    return RunBatch(batch, 0, Outcome::Done);
}

TranscodeJob::Outcome TranscodeJob::RunBatch(const std::vector<std::string>& batch,
                                             std::size_t from, Outcome overall) {
    if (overall == Outcome::Stopped) return overall;
    // A bad or empty entry fails on its own; the batch goes on with the rest.
    for (std::size_t at = from; at < batch.size(); ++at) {
        const std::string& entry = batch[at];
        if (entry.empty()) {
            overall = Outcome::Failed;
            continue;
        }
        model.SetInputName(entry);
        // A file is named with its engine's extension; the mono-file engines take a folder of
        // their own per entry, named with the default engine's extension.
        const OutputEngineKind* engine = model.SelectedEngine();
        const bool named = engine && !engine->writesFolder;
        model.SetOutputName(entry +
                            (named ? engine->extension : OutputEngineKinds().front().extension));
        const Outcome outcome = RunJob();
        if (outcome == Outcome::Running) {
            // A graph job runs on under the timer: the rest of the batch follows its end.
            TranscodeJob next(host);
            host.SetAfterJob([next, batch, at, overall](Outcome done) mutable {
                return next.RunBatch(batch, at + 1, Combined(overall, done));
            });
            return outcome;
        }
        if (outcome == Outcome::Stopped) return outcome;
        overall = Combined(overall, outcome);
    }
    return overall;
}

TranscodeJob::Outcome TranscodeJob::Combined(Outcome overall, Outcome outcome) {
    if (overall == Outcome::Stopped || outcome == Outcome::Stopped) return Outcome::Stopped;
    if (outcome == Outcome::DoneWithWarnings && overall == Outcome::Done) return outcome;
    if (outcome != Outcome::Done && outcome != Outcome::DoneWithWarnings) return Outcome::Failed;
    return overall;
}

std::vector<std::string> TranscodeJob::OutputFiles(const JobSettings& settings) {
    const OutputEngineKind* engine = OutputEngineNamed(settings.engine);
    return engine ? engine->outputFiles(settings.outputName)
                  : std::vector<std::string>{settings.outputName};
}

bool TranscodeJob::CheckNames(const JobSettings& settings) {
    const std::string& input = settings.inputName;
    const std::string& output = settings.outputName;
    if (input.empty()) {
        host.MessageBox("No input file selected", kFileIoError);
        return false;
    }
    if (output.empty() && !settings.measureOnly) {
        host.MessageBox("No output file selected", kFileIoError);
        return false;
    }
    // Checked before any open: opening a pipe would wait for a writer.
    if (IsSpecialFile(input)) {
        host.MessageBox("'" + input +
                            "' is not a regular file: a device, a pipe or standard input "
                            "cannot be read twice and rewound, as a job needs",
                        "File Open Error");
        return false;
    }
    // Through the graph, a DVD title may be named by its folder.
    const bool dvdTitle = settings.graphProcessing && !DvdTitleFiles(input).empty();
    if (!IsReadableFile(input) && !dvdTitle) {
        host.MessageBox("Unable to Open file '" + input + "'", "File Open Error");
        return false;
    }
    if (settings.measureOnly) return true;
    // Refused whatever the answer to a question would be: the job would destroy its input.
    const std::vector<std::string> files = OutputFiles(settings);
    for (const std::string& file : files) {
        if (IsSameFile(file, input)) {
            ReportOutputIsInput(host, file);
            return false;
        }
    }
    // One question for an existing output file, or one for a folder whose files exist.
    const bool folder = files.size() > 1;
    if (std::none_of(files.begin(), files.end(), ExistsAsFile)) return true;
    const std::string question =
        folder ? "Overwrite files in '" + output + "'" : "Overwrite file '" + output + "'";
    return host.MessageBox(question, "File I/O Warning", MessageButtons::OkCancel,
                           MessageIcon::Question) == MessageAnswer::Ok;
}

namespace {

// "Transcode" stays off for the whole of a job, from before its first pump of the front
// end's events (which could deliver a second press) to its end, whatever way it ends.
class TranscodeOff {
  public:
    explicit TranscodeOff(TranscoderDialog& model) : model(model) { model.EnableTranscode(false); }
    ~TranscodeOff() {
        if (!keep) model.EnableTranscode(true);
    }
    // The job runs on under its timer, which turns the button on again at its end.
    void KeepOff() { keep = true; }
    TranscodeOff(const TranscodeOff&) = delete;
    TranscodeOff& operator=(const TranscodeOff&) = delete;

  private:
    TranscoderDialog& model;
    bool keep = false;
};

}  // namespace

TranscodeJob::Outcome TranscodeJob::RunJob() {
    // A press delivered while a job runs (by its own event pumping) starts nothing.
    if (!model.Controls().transcodeButton.enabled) return Outcome::Refused;
    TranscodeOff transcodeOff(model);
    // A refused resync value would shift the whole output against the picture.
    if (!model.UpdateData()) return Outcome::Refused;
    host.SetStatusText("");
    model.FixRouting(0);
    host.UpdateProgress(0.0f, true);
    // From here on the job reads its settings, not the controls.
    JobSettings settings = model.JobSettingsForJob();

    if (!CheckNames(settings)) return Outcome::Refused;
    if (settings.graphProcessing && !model.Graph()) {
        host.MessageBox(
            "Filter-graph processing is not available here (GStreamer could not be started): "
            "choose \"Native Processing\".",
            "Transcoding Error");
        return Outcome::Refused;
    }

    const OutputEngineKind* engineKind = OutputEngineNamed(settings.engine);
    const std::string bitrateRefusal = TranscoderDialog::BitrateRefusal(settings.bitrateKbps);
    if (!settings.measureOnly && engineKind && engineKind->bitrateApplies &&
        !bitrateRefusal.empty()) {
        host.MessageBox(bitrateRefusal, "Transcoding Error");
        return Outcome::Refused;
    }

    std::unique_ptr<OutputEngine> engine = CreateEngine(settings);
    if (!engine) {
        host.MessageBox("No output engine selected", "Transcoding Error");
        return Outcome::Refused;
    }
    if (settings.graphProcessing && !PrepareGraph(settings)) return Outcome::Refused;
    // A graph job pushes its input into the source; a native source reads its file.
    GraphPipeSource* pipe = nullptr;
    SampleSource* native = nullptr;
    if (settings.graphProcessing) {
        auto created = std::make_unique<GraphPipeSource>(host, settings);
        pipe = created.get();
        engine->SetSource(std::move(created));
    } else {
        std::unique_ptr<SampleSource> created = CreateSource(settings);
        native = created.get();
        engine->SetSource(std::move(created));
    }

    // From here the job runs: the stop request is cleared so that the analysis pass (inside
    // Init) sees a running job.
    const std::string& input = settings.inputName;
    host.ClearStop();
    host.ClearWarnings();
    host.KeepJobOutputs({});
    host.KeepJobAudioFrames(0);
    if (!engine->Init(settings)) {
        // Asked to stop during the analysis pass: nothing was written.
        const bool stoppedByUser = host.StopRequested();
        host.RequestStop();
        if (stoppedByUser) return Outcome::Stopped;
        return native && native->Refused() ? Outcome::Refused : Outcome::Failed;
    }
    if (settings.graphProcessing) {
        const Outcome started = StartGraphJob(std::move(engine), *pipe, input);
        if (started == Outcome::Running) transcodeOff.KeepOff();
        return started;
    }

    host.Ui().SetBusy(true);
    const bool ran = engine->Run();
    // A source that reported an error (a damaged frame, a refused resync) ended the input
    // early: the output holds what came before, but the job did not succeed.
    const bool sourceFailed = engine->SourceFailed();
    const bool stoppedByUser = host.StopRequested();
    if (ran && !sourceFailed && !stoppedByUser && native->LoudnessMeasured())
        host.ReportLoudness(native->Loudness());
    host.RequestStop();
    host.KeepJobOutputs(engine->KeptOutputs());
    host.KeepJobAudioFrames(engine->FramesRead());
    engine.reset();
    host.Ui().SetBusy(false);

    if (!ran || sourceFailed) {
        ReportFailedJobOutputs(host, host.JobOutputs());
        return Outcome::Failed;
    }
    if (stoppedByUser) return Outcome::Stopped;
    return host.HadWarnings() ? Outcome::DoneWithWarnings : Outcome::Done;
}

bool TranscodeJob::PrepareGraph(JobSettings& settings) {
    const std::string& input = settings.inputName;
    // The graph must be the one of this input (a name typed in is rendered now), with the
    // wrapper in it. A file that cannot be rendered is refused: nothing was done (the editor
    // said why).
    if (model.RenderedInput() != input && !model.RenderInputFile(input)) return false;
    if (!model.Graph()->Editor().WrapperRow()) {
        host.MessageBox("The filter graph of '" + input +
                            "' has no Tavrisk Wrapper: insert one and connect the "
                            "graph's audio to it.",
                        "Transcoding Error");
        return false;
    }
    // The stream is read at its own rate, converted to the output's when they differ.
    if (const std::optional<int> rate = model.RenderedStreamRate()) {
        settings.inputRate = *rate;
        settings.resample = settings.inputRate != settings.outputRate;
    }
    return true;
}

TranscodeJob::Outcome TranscodeJob::StartGraphJob(std::unique_ptr<OutputEngine> engine,
                                                  GraphPipeSource& source,
                                                  const std::string& input) {
    model.SaveAllFilterSettings();
    GraphSession& session = *model.Graph();
    GstElement* wrapper = session.Editor().WrapperRow()->element;
    auto job = std::make_unique<GraphJob>(host, std::make_unique<PipelineDriver>(session.Graph()),
                                          std::move(engine), source, input);
    SetWrapperReceiver(wrapper, job.get());
    GraphJob* running = job.get();
    job->SetDetach([wrapper] { SetWrapperReceiver(wrapper, nullptr); });
    host.Ui().SetBusy(true);
    if (!running->Start()) {
        host.Ui().SetBusy(false);
        return Outcome::Failed;
    }
    SpreadPriority();
    host.StartRunningJob(std::move(job));
    return Outcome::Running;
}

std::unique_ptr<OutputEngine> TranscodeJob::CreateEngine(const JobSettings& settings) {
    if (settings.measureOnly) return std::make_unique<MeasureEngine>();
    const OutputEngineKind* engine = OutputEngineNamed(settings.engine);
    return engine ? engine->make(host) : nullptr;
}

std::unique_ptr<SampleSource> TranscodeJob::CreateSource(const JobSettings& settings) {
    return NativeInputKindOf(settings.inputName).make(host, settings);
}

}  // namespace tavrisk
