// SPDX-License-Identifier: GPL-3.0-or-later
#include "engines/Mp2Engine.h"

#include <atomic>
#include <cerrno>
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

// The configuration code of the encoder's -C option: front x 100 + surround x 10.
std::string ConfigurationCode(const ChannelConfiguration& channels) {
    return std::to_string(channels.front * 100 + channels.surround * 10);
}

std::atomic<bool> frameCounterAllowed{true};
std::atomic<DiagnosticSink*> defaultDiagnostics{nullptr};

}  // namespace

Mp2Engine::Mp2Engine(JobHost& host)
    : host(host), diagnostics(defaultDiagnostics.load()), block(std::make_unique<SampleBlock>()) {}

Mp2Engine::~Mp2Engine() = default;

void Mp2Engine::SetFrameCounterAllowed(bool allowed) {
    frameCounterAllowed = allowed;
}

std::vector<std::string> Mp2Engine::Arguments(const JobSettings& settings) {
    const std::string bitrate = std::to_string(settings.bitrateKbps);
    const char* const rate = settings.outputRate == 44100 ? "44.100" : "48.000";
    std::vector<std::string> arguments = {kProgramName, "-r", rate, "-b", bitrate, "-B",
                                          bitrate,      "-m", "s",  "-n", "d",     "-o"};
    // The full 5.1 is the encoder's own default; other configurations are named.
    const ChannelConfiguration& channels = settings.streamChannels;
    if (channels != ChannelConfiguration{}) {
        arguments.push_back("-C");
        arguments.push_back(ConfigurationCode(channels));
    }
    if (channels.lfe) arguments.push_back("-L");
    arguments.push_back(settings.inputName);
    arguments.push_back(settings.outputName);
    return arguments;
}

void Mp2Engine::SetDefaultDiagnostics(DiagnosticSink* sink) {
    defaultDiagnostics = sink;
}

void Mp2Engine::SetDiagnostics(DiagnosticSink* sink) {
    refusalEcho = sink;
    diagnostics = sink;
}

void Mp2Engine::Say(const std::string& text) const {
    if (diagnostics) diagnostics->Report(text);
}

void Mp2Engine::ShowEncoderMessages() {
    if (encoder.Log().Empty()) return;
    for (const mp2::EncoderMessage& message : encoder.Log().Take()) {
        if (!diagnostics) continue;  // dropped, as the front end gave no sink
        if (message.kind == mp2::EncoderMessage::kError) {
            diagnostics->Error(message.text);
        } else {
            diagnostics->Report(message.text);
        }
    }
}

void Mp2Engine::Report(const std::string& text, const char* title) {
    host.MessageBox(text, title, MessageButtons::Ok, MessageIcon::Stop);
}

bool Mp2Engine::Configure(const std::vector<std::string>& arguments, mp2::EncoderOptions& options) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    // The refusals of the options and of the settings are told alike. The encoder's log is
    // asked for again after the settings: on several threads it is another log than before.
    bool accepted =
        mp2::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, encoder.Log());
    std::vector<mp2::EncoderMessage> messages = encoder.Log().Take();
    if (accepted) {
        accepted = encoder.Configure(mp2::SettingsFromOptions(options), sink);
        for (mp2::EncoderMessage& message : encoder.Log().Take()) messages.push_back(message);
    }
    std::string text;
    for (const mp2::EncoderMessage& message : messages) {
        if (message.kind == mp2::EncoderMessage::kError) {
            text += message.text;
        } else {
            Say(message.text);
        }
    }
    if (!text.empty() && refusalEcho) refusalEcho->Error(text);
    if (!accepted) Report("The encoder refused its settings:\n" + text, kSettingsTitle);
    return accepted;
}

bool Mp2Engine::Init(const JobSettings& settings) {
    encoder.SetThreads(settings.encoderThreads);
    return InitWithArguments(Arguments(settings));
}

bool Mp2Engine::InitWithArguments(const std::vector<std::string>& arguments) {
    mp2::EncoderOptions options;
    showFrameCounter = frameCounterAllowed && diagnostics && diagnostics->ShowsCounter();
    if (!Configure(arguments, options)) return false;
    verbosity = options.verbosity;
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
    if (!sink.Open(outputPath)) {
        const int error = errno;
        Say(mp2::FormatText("Could not create \"%s\".\n", outputPath.c_str()));
        Report("Could not create \"" + outputPath + "\": " + SystemReason(error) + ".",
               kCreateTitle);
        source->Close();
        inputFile.reset();
        return false;
    }
    outputOpen = true;
    // An encoder on several threads hands the frames to its workers itself; alone, it
    // encodes on a thread of its own while the source reads the next blocks.
    if (encoder.Threads() == 1) {
        encoding = std::make_unique<BlockPipeline>(
            [this](const SampleBlock& next) { return Encode(&next); });
    }
    return true;
}

bool Mp2Engine::FetchBlock() {
    // The source writes the block where the encoder reads it.
    if (!encoding) return ReadFromSource(encoder.NextBlock());
    SampleBlock* room = encoding->Room();
    return ReadFromSource(room ? *room : *block);
}

bool Mp2Engine::Encode(const SampleBlock* next) {
    if (verbosity > 0 && showFrameCounter) {
        diagnostics->Counter(
            mp2::FormatText("{%4lu}\r", static_cast<unsigned long>(encoder.FrameCount())));
    }
    const bool encoded = next ? encoder.EncodeFrame(*next) : encoder.CommitBlock();
    ShowEncoderMessages();
    return encoded;
}

bool Mp2Engine::EncodeBlock() {
    if (outputOpen && !encoding) {
        if (Encode(nullptr)) return true;
    } else if (encoding && encoding->Room()) {
        // FetchBlock read into this room.
        encoding->Commit();
        return true;
    }
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
        if (encoding && !encoding->Drain() && !failed) ReportWriteFailure();
        encoding.reset();
        bool written = encoder.Finish();
        ShowEncoderMessages();
        written = sink.Close(Ending()) && written;
        if (verbosity > 1) {
            Say(
                mp2::FormatText("Encoding of \"%s\" with psychoacoustic model %d "
                                "is finished\n",
                                inputPath.c_str(), 1));
            Say(encoder.Params().multichannel ? " It is a multichannel file !\n"
                                              : " It is a twochannel file!\n");
            Say(mp2::FormatText("The MPEG encoded output file name is \"%s\"\n",
                                outputPath.c_str()));
        }
        if (!written && !failed) ReportWriteFailure();
        NoteKept(sink.Kept());
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
