#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "dsp/SampleBlock.h"
#include "engines/OutputEngine.h"
#include "host/JobHost.h"
#include "mp2enc/Mp2Encoder.h"

namespace tavrisk::mp2 {

// The output engine that writes one MPEG-2 multichannel Layer II file (3/2 + LFE, with a
// stereo-compatible downmix) from the six processed channels of its source. The encoder's
// diagnostics go to its streams; a failure (settings refused, output not created, written
// or closed) is also shown through the job host, where a desktop user sees it.
class Mp2Engine : public OutputEngine {
  public:
    explicit Mp2Engine(JobHost& host);
    ~Mp2Engine() override;

    // Where the encoder's messages go (default stdout and stderr).
    void SetStreams(std::FILE* out, std::FILE* err);
    // A front end that draws its own progress turns the encoder's per-frame counter off for
    // the engines initialised afterwards (the job creates them out of its reach).
    static void SetFrameCounterAllowed(bool allowed);

    bool Init(int argc, const char* const* argv) override;
    bool Finish() override;
    bool EncodeBlock() override;
    bool FetchBlock() override;

    const Mp2Encoder& Encoder() const { return encoder; }

  private:
    // Configures the encoder; its refusal messages are also shown through the host.
    bool Configure(int argc, const char* const* argv, EncoderOptions& options);
    void Report(const std::string& text, const char* title);
    // A failed write of the output: reported once, and the job fails.
    void ReportWriteFailure();

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    JobHost& host;
    std::FILE* outStream = stdout;
    std::FILE* errStream = stderr;
    Mp2Encoder encoder;
    std::unique_ptr<SampleBlock> block;
    std::unique_ptr<std::FILE, FileCloser> inputFile;
    std::string inputPath;
    std::string outputPath;
    bool outputOpen = false;
};

}  // namespace tavrisk::mp2
