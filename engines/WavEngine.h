#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engines/OutputEngine.h"
#include "platform/WavWriter.h"
#include "sources/SampleBlock.h"

namespace tavrisk {

// Writes the processed audio into one six-channel 16-bit WAV file, frames interleaved as
// L, C, R, LS, RS, LFE. The file takes its name when the job finishes, and only when it
// holds at least one block: a job that ends before leaves any earlier file as it was.
class WavEngine : public OutputEngine {
  public:
    static constexpr int kChannels = 6;

    explicit WavEngine(JobHost& host);

    bool Init(int argc, const char* const* argv) override;
    bool Finish() override;
    bool EncodeBlock() override { return true; }
    bool FetchBlock() override;

  private:
    // The block into `frames`, interleaved in the file's order as 16-bit little-endian values.
    void Pack();

    JobHost& host;
    WavWriter writer;
    std::string outputName;
    bool wroteBlock = false;
    SampleBlock block;
    std::array<int16_t, SampleBlock::kFrames * kChannels> frames{};
};

}  // namespace tavrisk
