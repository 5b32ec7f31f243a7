// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/RiffReader.h"
#include "sources/SampleSource.h"

namespace tavrisk {

// Reads a six-channel 16-bit RIFF WAV file (44100 or 48000 Hz) and delivers it in blocks,
// processed and, where asked, resampled. Frames are stored L, C, R, LS, RS, LFE, or, when an
// extensible format record declares the standard 5.1 mask, L, R, C, LFE, LS, RS. Reading
// stops at the end of the "data" chunk.
class WavFileSource : public SampleSource {
  public:
    static constexpr int kBytesPerSample = 2;
    static constexpr std::size_t kBytesPerFrame = kChannels * kBytesPerSample;
    // Frames per read: 49152 bytes, the most a run may carry (smaller reads cost the system
    // more per byte).
    static constexpr std::size_t kReadFrames = kMaxRunFrames;
    static constexpr std::size_t kReadBufferSize = kReadFrames * kBytesPerFrame;
    static constexpr const char* kOpenErrorTitle = "File Open Error";

    // The "fmt " record as far as this source reads it.
    struct WaveFormat {
        static constexpr uint16_t kTagPcm = 1;
        static constexpr uint16_t kTagExtensible = 0xFFFE;
        static constexpr std::size_t kMinSize = 16;
        static constexpr std::size_t kExtensibleSize = 40;
        static constexpr std::size_t kMaskEnd = 24;

        uint16_t formatTag = 0;
        uint16_t channels = 0;
        uint32_t samplesPerSecond = 0;
        uint32_t avgBytesPerSecond = 0;
        uint16_t blockAlign = 0;
        uint16_t bitsPerSample = 0;
        uint32_t channelMask = 0;  // 0 when the record declares none
        // Plain PCM: the PCM tag, or the extensible tag with the PCM sub-format.
        bool pcm = false;
    };

    WavFileSource(JobHost& host, const JobSettings& settings);
    ~WavFileSource() override;

    void Close() override {
        StopReading();
        reader.Close();
    }

    const WaveFormat& Format() const { return waveFormat; }
    // Bytes of sample data present in the file.
    uint64_t DataSize() const { return dataSize; }

  protected:
    bool OpenInput() override;
    InputStatus ReadInput(InputRun& run) override;
    bool RewindInput() override;
    double InputPosition() const override { return static_cast<double>(bytesRead); }
    double InputSize() const override { return static_cast<double>(dataSize); }

  private:
    bool OpenFailed(const std::string& what);
    bool ReadFormat(const RiffChunk& chunk);
    bool CheckFormat();
    void ChooseChannelOrder();
    // Reads up to `count` bytes of the "data" chunk, never beyond it.
    std::size_t ReadData(uint8_t* bytes, std::size_t count);
    void ToFrames(const uint8_t* bytes, std::size_t count, float* out) const;

    RiffReader reader;
    RiffChunk riffChunk;
    RiffChunk subChunk;
    WaveFormat waveFormat;
    uint64_t dataStart = 0;
    uint64_t dataSize = 0;
    uint64_t dataLeft = 0;
    uint64_t bytesRead = 0;
    // Position in the file's frame of each input channel L, C, R, LS, RS, LFE.
    std::array<int, kChannels> fileChannelOfInput{};
    std::array<uint8_t, kReadBufferSize> readBuffer{};
    std::array<float, kReadFrames * kChannels> frames{};
};

}  // namespace tavrisk
