#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace tavrisk::mp2dec {

// Writes a plain 16-bit PCM WAV file: interleaved frames go out as they come, the sizes
// in the header are set on Close. The file is closed (validly) by the destructor too.
class PcmWavFile {
  public:
    PcmWavFile() = default;
    ~PcmWavFile();
    PcmWavFile(const PcmWavFile&) = delete;
    PcmWavFile& operator=(const PcmWavFile&) = delete;

    bool Open(const std::string& path, int channels, int sampleRate);
    // Writes `frames` frames of interleaved samples.
    bool Write(const int16_t* interleaved, std::size_t frames);
    bool Close();
    bool IsOpen() const { return file.is_open(); }
    uint64_t FramesWritten() const { return frames; }

  private:
    void WriteHeader(uint32_t dataBytes);

    std::ofstream file;
    int channels = 0;
    int sampleRate = 0;
    uint64_t frames = 0;
    std::vector<uint8_t> bytes;
};

}  // namespace tavrisk::mp2dec
