#include "engines/Mp2Engine.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "engines/EngineMessages.h"
#include "platform/SameFile.h"

namespace tavrisk {
namespace {

constexpr const char* kProgramName = "Tavrisk";
constexpr const char* kDefaultExtension = ".mpg";
constexpr const char* kSettingsTitle = "Tavrisk Internal Encoder Error";
constexpr const char* kOpenTitle = "File Open Error";
constexpr const char* kCreateTitle = "File Creation Error";
constexpr const char* kWriteTitle = "File I/O Error";

std::string Quoted(const char* format, const std::string& path) {
    return format + ("\"" + path + "\".");
}

// Text written to a stream while it is in use, kept in memory.
class CapturedStream {
  public:
    CapturedStream() : stream(open_memstream(&buffer, &size)) {}
    ~CapturedStream() {
        if (stream) std::fclose(stream);
        std::free(buffer);
    }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;

    std::FILE* Stream(std::FILE* fallback) const { return stream ? stream : fallback; }
    std::string Text() {
        if (!stream) return {};
        std::fflush(stream);
        return std::string(buffer, size);
    }

  private:
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream;
};

std::atomic<bool> frameCounterAllowed{true};

}  // namespace

Mp2Engine::Mp2Engine(JobHost& host) : host(host), block(std::make_unique<SampleBlock>()) {}

Mp2Engine::~Mp2Engine() = default;

void Mp2Engine::SetFrameCounterAllowed(bool allowed) {
    frameCounterAllowed = allowed;
}

std::vector<std::string> Mp2Engine::Arguments(const JobSettings& settings) {
    const std::string bitrate = std::to_string(settings.bitrateKbps);
    return {kProgramName,
            "-r",
            settings.outputRate == 44100 ? "44.100" : "48.000",
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
            settings.inputName,
            settings.outputName};
}

void Mp2Engine::SetStreams(std::FILE* out, std::FILE* err) {
    refusalEcho = err;
    encoder.SetStreams(out, err);
}

void Mp2Engine::Report(const std::string& text, const char* title) {
    host.MessageBox(text, title, MessageButtons::Ok, MessageIcon::Stop);
}

bool Mp2Engine::Configure(const std::vector<std::string>& arguments, mp2::EncoderOptions& options) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    std::FILE* const out = encoder.OutputStream();
    std::FILE* const err = encoder.ErrorStream();
    CapturedStream refusals;
    encoder.SetStreams(out, refusals.Stream(err));
    const bool accepted = mp2::ParseOptions(static_cast<int>(argv.size()), argv.data(), options,
                                            refusals.Stream(err)) &&
                          encoder.Configure(options);
    encoder.SetStreams(out, err);
    const std::string text = refusals.Text();
    if (!text.empty() && refusalEcho) std::fputs(text.c_str(), refusalEcho);
    if (!accepted) Report("The encoder refused its settings:\n" + text, kSettingsTitle);
    return accepted;
}

bool Mp2Engine::Init(const JobSettings& settings) {
    return InitWithArguments(Arguments(settings));
}

bool Mp2Engine::InitWithArguments(const std::vector<std::string>& arguments) {
    mp2::EncoderOptions options;
    // Decided here: Configure lends the encoder a stream of its own for a while.
    std::FILE* const err = encoder.ErrorStream();
    encoder.SetShowFrameCounter(frameCounterAllowed && err && ::isatty(::fileno(err)) != 0);
    if (!Configure(arguments, options)) return false;
    inputPath = options.inputPath;
    outputPath = options.outputPath;
    // Without an output name the stream goes beside the input. An output that is the input
    // is refused, not renamed: another name would replace a file nobody asked about.
    if (outputPath.empty()) outputPath = inputPath + kDefaultExtension;
    if (IsSameFile(outputPath, inputPath)) {
        ReportOutputIsInput(host, outputPath);
        return false;
    }

    inputFile.reset(std::fopen(inputPath.c_str(), "rb"));
    if (!inputFile) {
        Report(Quoted("Could not find ", inputPath), kOpenTitle);
        return false;
    }
    if (!source || !source->Open(inputPath)) {
        inputFile.reset();
        return false;
    }
    if (!encoder.OpenOutput(outputPath)) {
        Report(Quoted("Could not create ", outputPath), kCreateTitle);
        source->Close();
        inputFile.reset();
        return false;
    }
    outputOpen = true;
    encoding = std::make_unique<BlockPipeline>(
        [this](const SampleBlock& next) { return encoder.EncodeFrame(next); });
    return true;
}

bool Mp2Engine::FetchBlock() {
    return ReadFromSource(*block);
}

bool Mp2Engine::EncodeBlock() {
    if (encoding && encoding->Push(*block)) return true;
    ReportWriteFailure();
    return false;
}

// Shown through the host alone: a terminal prints the host's messages itself.
void Mp2Engine::ReportWriteFailure() {
    Report(Quoted("Could not write ", outputPath), kWriteTitle);
    failed = true;
}

bool Mp2Engine::Finish() {
    if (outputOpen) {
        outputOpen = false;
        // The blocks handed over so far are encoded first; a write that failed meanwhile is
        // told once.
        if (!encoding->Drain() && !failed) ReportWriteFailure();
        encoding.reset();
        if (!encoder.Finish(inputPath, outputPath, Ending()) && !failed) ReportWriteFailure();
        NoteKept(encoder.Kept());
    }
    if (!inputFile) return !failed;  // not initialised, or finished already
    if (source) source->Close();
    if (std::fclose(inputFile.release()) != 0) {
        Report(Quoted("Could not close ", inputPath), kOpenTitle);
        return false;
    }
    return !failed;
}

}  // namespace tavrisk
