// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/RiffChunk.h"
#include "platform/RiffWriter.h"

namespace tavrisk {

// Writes a RIFF WAV file of PCM samples: an 18-byte "fmt " record (or, with a channel mask, the
// 40-byte WAVE_FORMAT_EXTENSIBLE record), then a "data" chunk whose size, like the RIFF size,
// is fixed up by Close. The file takes its name when closed; a
// writer discarded or destroyed before leaves any earlier file of that name as it was.
class WavWriter {
  public:
    static constexpr uint16_t kFormatPcm = 1;
    static constexpr uint16_t kFormatExtensible = 0xFFFE;
    static constexpr std::size_t kFormatSize = 18;
    static constexpr std::size_t kExtensibleFormatSize = 40;
    // The extensible record's sub-format: KSDATAFORMAT_SUBTYPE_PCM as stored.
    static constexpr std::array<uint8_t, 16> kPcmSubFormat = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                              0x10, 0x00, 0x80, 0x00, 0x00, 0xAA,
                                                              0x00, 0x38, 0x9B, 0x71};
    static constexpr int kBitsPerSample = 16;
    static constexpr std::size_t kBytesPerSample = 2;

    WavWriter() = default;
    ~WavWriter() { Discard(); }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates the file and writes its header; on failure nothing stays open. A channel mask
    // (speaker bits, see WavChannelOrder.h) makes the record an extensible one declaring it.
    bool Open(const std::string& fileName, int channels, int samplesPerSecond, int bitsPerSample,
              uint32_t channelMask = 0);
    // True when all bytes were written.
    bool Write(const void* bytes, std::size_t count) { return riff.Write(bytes, count); }
    // `count` blocks of `size` bytes in one write; after a failure, as many whole blocks as
    // fit (see RiffWriter::WriteRecords). Returns how many were written.
    std::size_t WriteBlocks(const void* bytes, std::size_t size, std::size_t count) {
        return riff.WriteRecords(bytes, size, count);
    }
    // Fixes up the sizes and closes; false when that failed. Harmless when closed. The file
    // takes the name `end` chooses (see OutputFile).
    bool Close(OutputEnd end = OutputEnd::kComplete);
    const std::optional<KeptOutput>& Kept() const { return riff.Kept(); }
    // Closes without keeping the file. Harmless when closed.
    void Discard() { riff.Discard(); }
    bool IsOpen() const { return riff.IsOpen(); }

    // A block value (a whole 16-bit value carried as double), truncated toward zero, as two
    // little-endian bytes.
    static void PutSample(double value, uint8_t* bytes) {
        PutLe16(bytes, static_cast<uint16_t>(static_cast<int32_t>(value)));
    }

  private:
    // The record and its size (kFormatSize, or kExtensibleFormatSize with a mask).
    using Record = std::array<uint8_t, kExtensibleFormatSize>;
    static std::size_t FormatRecord(int channels, int samplesPerSecond, int bitsPerSample,
                                    uint32_t channelMask, Record& format);

    RiffWriter riff;
    RiffChunk riffChunk;
    RiffChunk subChunk;
};

}  // namespace tavrisk
