#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "engines/OutputEngine.h"
#include "mp2enc/Mp2Encoder.h"
#include "sources/SampleBlock.h"

namespace tavrisk {
class TranscoderDialog;
}

namespace tavrisk::mp2 {

// The output engine that writes one MPEG-2 multichannel Layer II file (3/2 + LFE, with a
// stereo-compatible downmix) from the six processed channels of its source.
class Mp2Engine : public OutputEngine {
  public:
    // The encoder reports on its streams only; the window is not needed.
    explicit Mp2Engine(TranscoderDialog& window);
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
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

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
