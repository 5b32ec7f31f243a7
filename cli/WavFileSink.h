#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mp2dec/StreamDecoder.h"
#include "platform/WavWriter.h"

namespace tavrisk {

// Writes decoded samples to a 16-bit WAV file, created when the first frame arrives.
class WavFileSink : public mp2dec::SampleSink {
  public:
    explicit WavFileSink(std::string path) : path(std::move(path)) {}

    bool Start(int channels, int sampleRate) override;
    bool Write(std::span<const int16_t> samples) override;
    std::string Name() const override { return path; }
    // Fixes up the sizes and closes; false when that failed. True when nothing was started.
    bool Finish() { return wav.Close(); }

  private:
    std::string path;
    WavWriter wav;
    std::vector<uint8_t> bytes;  // the samples as little-endian 16-bit values
};

}  // namespace tavrisk
