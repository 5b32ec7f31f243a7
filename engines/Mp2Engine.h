// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dsp/SampleBlock.h"
#include "engines/BlockPipeline.h"
#include "engines/EncoderOptions.h"
#include "engines/Mp2FileSink.h"
#include "engines/OutputEngine.h"
#include "host/DiagnosticSink.h"
#include "host/JobHost.h"
#include "host/JobSettings.h"
#include "mp2enc/ParallelMp2Encoder.h"

namespace tavrisk {

// The output engine that writes one Layer II file from the six processed channels of its
// source: MPEG-2 multichannel (3/2 + LFE by default, with a stereo-compatible downmix), or
// the job's channels folded into another configuration. It is configured
// by the encoder's argument vector, which a job's settings are turned into (Arguments). A
// failure (settings refused, input not found, output not created, written or closed) is
// shown through the job host.
class Mp2Engine : public OutputEngine {
  public:
    explicit Mp2Engine(JobHost& host);
    ~Mp2Engine() override;

    // The argument vector of a job: rate, bitrate, mode and the input and output names.
    static std::vector<std::string> Arguments(const JobSettings& settings);

    // Where the encoder's own diagnostics go; refusals of its settings are also told there.
    // Without a call, the sink a front end gave SetDefaultDiagnostics; none, and the
    // diagnostics are dropped, when it gave none. The sink must outlive the engine's run.
    void SetDiagnostics(DiagnosticSink* sink);
    // A front end names the diagnostic sink of the engines made afterwards.
    static void SetDefaultDiagnostics(DiagnosticSink* sink);
    // A front end that draws its own progress turns the encoder's per-frame counter off for
    // the engines initialised afterwards (the job creates them out of its reach).
    static void SetFrameCounterAllowed(bool allowed);

    bool Init(const JobSettings& settings) override;
    // Init from an argument vector: argv[0] is the program's name, the input and output
    // names come last.
    bool InitWithArguments(const std::vector<std::string>& arguments);
    bool Finish() override;
    bool EncodeBlock() override;
    bool FetchBlock() override;

    // Threads the frames are encoded on, for the runs initialised afterwards (Init takes
    // the job's).
    void SetEncoderThreads(int threads) { encoder.SetThreads(threads); }

  private:
    // Configures the encoder; its refusal messages are also shown through the host.
    bool Configure(const std::vector<std::string>& arguments, mp2::EncoderOptions& options);
    void Report(const std::string& text, const char* title);
    // Encodes one block: the frame counter, the frame, the encoder's messages; `next`, or
    // with none the block read into the encoder's own room. False when the sink refused a
    // frame.
    bool Encode(const SampleBlock* next);
    // Hands what the encoder logged since the last call to the diagnostic sink.
    void ShowEncoderMessages();
    // A report of the engine's own on the diagnostic sink.
    void Say(const std::string& text) const;
    // A failed write of the output: reported once, and the job fails.
    void ReportWriteFailure();

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    JobHost& host;
    // Where refusals are echoed besides the host; none unless SetDiagnostics named one.
    DiagnosticSink* refusalEcho = nullptr;
    DiagnosticSink* diagnostics;
    bool showFrameCounter = false;
    int verbosity = 0;
    Mp2FileSink sink;
    mp2::ParallelMp2Encoder encoder;
    // Where a block is read when the pipeline failed.
    std::unique_ptr<SampleBlock> block;
    // With the encoder alone on its thread: encodes the blocks on a thread of its own while
    // the source reads the next ones; the encoder is the pipeline's from Init to Finish.
    std::unique_ptr<BlockPipeline> encoding;
    std::unique_ptr<std::FILE, FileCloser> inputFile;
    std::string inputPath;
    std::string outputPath;
    bool outputOpen = false;
};

}  // namespace tavrisk
