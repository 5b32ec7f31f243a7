#include "app/TranscodeJob.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/GraphJob.h"
#include "app/GraphSession.h"
#include "app/KeptOutputs.h"
#include "engines/EngineMessages.h"
#include "engines/MonoFilesEngine.h"
#include "platform/SameFile.h"

namespace tavrisk {

namespace {

constexpr const char* kProgramName = "Tavrisk";
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

// Layer II bitrates that only a single channel may use: a multichannel stream's compatible
// stereo pair needs more.
bool IsSingleChannelBitrate(int kbps) {
    return kbps == 32 || kbps == 48 || kbps == 56 || kbps == 80;
}

}  // namespace

TranscodeJob::Outcome TranscodeJob::OnTranscode() {
    window.MarkStart();
    // A refused field ends the press before any job of a batch.
    if (!window.UpdateData()) return Outcome::Refused;
    if (window.batchList.empty()) return RunJob();
    if (window.directShowMode) {
        window.MessageBox("Batch mode can be used only with internal Processing.",
                          "Transcoding Error");
        return Outcome::Refused;
    }
    // A bad or empty entry fails on its own; the batch goes on with the rest.
    Outcome overall = Outcome::Done;
    for (const std::string& entry : window.batchList) {
        if (entry.empty()) {
            overall = Outcome::Failed;
            continue;
        }
        window.SetInputName(entry);
        // A WAV file is named as such; every other engine takes the entry + ".mp2" (the
        // mono-file engines as a folder of their own per entry).
        const bool wav = window.outputEngine.selected == TranscoderDialog::kEngineWav;
        window.SetOutputName(entry + (wav ? ".wav" : ".mp2"));
        const Outcome outcome = RunJob();
        if (outcome == Outcome::Stopped) return outcome;
        if (outcome == Outcome::DoneWithWarnings && overall == Outcome::Done) overall = outcome;
        if (outcome != Outcome::Done && outcome != Outcome::DoneWithWarnings)
            overall = Outcome::Failed;
    }
    return overall;
}

std::vector<std::string> TranscodeJob::OutputFiles() const {
    const std::string& output = window.outputName.text;
    const int engine = window.outputEngine.selected;
    if (engine != TranscoderDialog::kEnginePcmMono && engine != TranscoderDialog::kEngineWavMono)
        return {output};
    const bool wavMode = engine == TranscoderDialog::kEngineWavMono;
    std::vector<std::string> files;
    for (int k = 0; k < MonoFilesEngine::kFiles; ++k)
        files.push_back(MonoFilesEngine::FilePath(output, k, wavMode));
    return files;
}

bool TranscodeJob::CheckNames() {
    const std::string& input = window.inputName.text;
    const std::string& output = window.outputName.text;
    if (input.empty()) {
        window.MessageBox("No input file selected", kFileIoError);
        return false;
    }
    if (output.empty()) {
        window.MessageBox("No output file selected", kFileIoError);
        return false;
    }
    // Checked before any open: opening a pipe would wait for a writer.
    if (IsSpecialFile(input)) {
        window.MessageBox("'" + input +
                              "' is not a regular file: a device, a pipe or standard input "
                              "cannot be read twice and rewound, as a job needs",
                          "File Open Error");
        return false;
    }
    if (!IsReadableFile(input)) {
        window.MessageBox("Unable to Open file '" + input + "'", "File Open Error");
        return false;
    }
    // Refused whatever the answer to a question would be: the job would destroy its input.
    const std::vector<std::string> files = OutputFiles();
    for (const std::string& file : files) {
        if (IsSameFile(file, input)) {
            ReportOutputIsInput(window, file);
            return false;
        }
    }
    // One question for an existing output file, or one for a folder whose files exist.
    const bool folder = files.size() > 1;
    if (std::none_of(files.begin(), files.end(), ExistsAsFile)) return true;
    const std::string question =
        folder ? "Overwrite files in '" + output + "'" : "Overwrite file '" + output + "'";
    return window.MessageBox(question, "File I/O Warning", MessageButtons::OkCancel,
                             MessageIcon::Question) == MessageAnswer::Ok;
}

void TranscodeJob::BuildArguments() {
    char bitrate[16];
    std::snprintf(bitrate, sizeof bitrate, "%d", window.GetBitrate());
    const bool rate44 = window.freq.selected == TranscoderDialog::kFreq44100;
    arguments = {kProgramName,
                 "-r",
                 rate44 ? "44.100" : "48.000",
                 "-b",
                 bitrate,
                 "-B",
                 bitrate,
                 "-m",
                 "s",
                 "-n",
                 "d",
                 "-o",
                 "-L",
                 window.inputName.text,
                 window.outputName.text};
}

namespace {

// "Transcode" stays off for the whole of a job, from before its first pump of the front
// end's events (which could deliver a second press) to its end, whatever way it ends.
class TranscodeOff {
  public:
    explicit TranscodeOff(TranscoderDialog& window) : window(window) {
        window.EnableTranscode(false);
    }
    ~TranscodeOff() {
        if (!keep) window.EnableTranscode(true);
    }
    // The job runs on under its timer, which turns the button on again at its end.
    void KeepOff() { keep = true; }
    TranscodeOff(const TranscodeOff&) = delete;
    TranscodeOff& operator=(const TranscodeOff&) = delete;

  private:
    TranscoderDialog& window;
    bool keep = false;
};

}  // namespace

TranscodeJob::Outcome TranscodeJob::RunJob() {
    // A press delivered while a job runs (by its own event pumping) starts nothing.
    if (!window.transcodeButton.enabled) return Outcome::Refused;
    TranscodeOff transcodeOff(window);
    // A refused resync value would shift the whole output against the picture.
    if (!window.UpdateData()) return Outcome::Refused;
    window.SetStatusText("");
    window.FixRouting(0);
    window.UpdateProgress(0.0f, true);

    if (!CheckNames()) return Outcome::Refused;
    if (window.directShowMode && !window.Graph()) {
        window.MessageBox(
            "Filter-graph processing is not available here (GStreamer could not be started): "
            "choose \"Native Processing\".",
            "Transcoding Error");
        return Outcome::Refused;
    }

    if (window.outputEngine.selected == TranscoderDialog::kEngineMp2 &&
        IsSingleChannelBitrate(window.GetBitrate())) {
        window.MessageBox(std::to_string(window.GetBitrate()) +
                              " kbit/s is a bitrate for a single channel: the multichannel "
                              "stream's stereo pair needs 64 kbit/s or more (64, 96, 112, 128, "
                              "160, 192, 224, 256, 320 or 384).",
                          "Transcoding Error");
        return Outcome::Refused;
    }

    BuildArguments();
    std::unique_ptr<OutputEngine> engine = CreateEngine();
    if (!engine) {
        window.MessageBox("No output engine selected", "Transcoding Error");
        return Outcome::Refused;
    }
    // A graph job pushes its input into the source; a native source reads its file.
    GraphPipeSource* pipe = nullptr;
    SampleSource* native = nullptr;
    if (window.directShowMode) {
        auto created = std::make_unique<GraphPipeSource>(window);
        pipe = created.get();
        engine->SetSource(std::move(created));
    } else {
        std::unique_ptr<SampleSource> created = CreateSource();
        native = created.get();
        engine->SetSource(std::move(created));
    }

    const char* argv[kArgc];
    for (int i = 0; i < kArgc; ++i) argv[i] = arguments[i].c_str();
    // From here the job runs: the stop request is cleared so that the analysis pass (inside
    // Init) sees a running job.
    if (window.directShowMode) {
        // The graph must be the one of this input (a name typed in is rendered now), with
        // the wrapper in it.
        // A file that cannot be rendered is refused: nothing was done (the editor said why).
        if (window.RenderedInput() != window.inputName.text &&
            !window.RenderInputFile(window.inputName.text))
            return Outcome::Refused;
        if (!window.Graph()->Editor().WrapperRow()) {
            window.MessageBox("The filter graph of '" + window.inputName.text +
                                  "' has no Tavrisk Wrapper: insert one and connect the "
                                  "graph's audio to it.",
                              "Transcoding Error");
            return Outcome::Refused;
        }
    }
    window.ClearStop();
    window.jobWarnings = false;
    window.jobOutputs.clear();
    if (!engine->Init(kArgc, argv)) {
        // Asked to stop during the analysis pass: nothing was written.
        const bool stoppedByUser = window.StopRequested();
        window.RequestStop();
        if (stoppedByUser) return Outcome::Stopped;
        return native && native->Refused() ? Outcome::Refused : Outcome::Failed;
    }
    if (window.directShowMode) {
        const Outcome started = StartGraphJob(std::move(engine), *pipe);
        if (started == Outcome::Running) transcodeOff.KeepOff();
        return started;
    }

    window.Ui().SetBusy(true);
    const bool ran = engine->Run();
    // A source that reported an error (a damaged frame, a refused resync) ended the input
    // early: the output holds what came before, but the job did not succeed.
    const bool sourceFailed = engine->SourceFailed();
    const bool stoppedByUser = window.StopRequested();
    window.RequestStop();
    window.jobOutputs = engine->KeptOutputs();
    engine.reset();
    window.Ui().SetBusy(false);

    if (!ran || sourceFailed) {
        ReportFailedJobOutputs(window, window.jobOutputs);
        return Outcome::Failed;
    }
    if (stoppedByUser) return Outcome::Stopped;
    return window.jobWarnings ? Outcome::DoneWithWarnings : Outcome::Done;
}

TranscodeJob::Outcome TranscodeJob::StartGraphJob(std::unique_ptr<OutputEngine> engine,
                                                  GraphPipeSource& source) {
    window.SaveAllFilterSettings();
    GraphSession& session = *window.Graph();
    GstElement* wrapper = session.Editor().WrapperRow()->element;
    auto job = std::make_unique<GraphJob>(window, std::make_unique<PipelineDriver>(session.Graph()),
                                          std::move(engine), source, window.inputName.text);
    SetWrapperReceiver(wrapper, job.get());
    GraphJob* running = job.get();
    job->SetDetach([wrapper] { SetWrapperReceiver(wrapper, nullptr); });
    window.Ui().SetBusy(true);
    if (!running->Start()) {
        window.Ui().SetBusy(false);
        return Outcome::Failed;
    }
    window.StartRunningJob(std::move(job));
    return Outcome::Running;
}

}  // namespace tavrisk
