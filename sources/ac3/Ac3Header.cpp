// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3Header.h"

#include "sources/ac3/Ac3FrameSizes.h"

namespace tavrisk::ac3 {
namespace {

enum RecordByte { kRecRate = 0, kRecFrameSize = 1, kRecBsmod = 2, kRecAcmod = 3, kRecLfe = 7 };
constexpr int kAcmodDualMono = 1;
constexpr int kAcmodStereo = 2;

// Reads bits most significant first.
class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> bytes) : bytes(bytes) {}
    int Read(int count) {
        int value = 0;
        for (int i = 0; i < count; ++i, ++position) {
            const int bit = (bytes[position / 8] >> (7 - position % 8)) & 1;
            value = (value << 1) | bit;
        }
        return value;
    }
    void Skip(int count) { position += count; }

  private:
    std::span<const uint8_t> bytes;
    std::size_t position = 0;
};

}  // namespace

std::optional<Ac3Header> ParseAc3Header(std::span<const uint8_t> bytes) {
    if (bytes.size() < Ac3Header::kBytes) return std::nullopt;
    BitReader bits(bytes);
    if (bits.Read(16) != Ac3Header::kSyncWord) return std::nullopt;
    bits.Skip(16);  // crc1
    Ac3Header header;
    header.sampleRateCode = bits.Read(2);
    header.frameSizeCode = bits.Read(6);
    header.bsid = bits.Read(5);
    header.bsmod = bits.Read(3);
    header.acmod = bits.Read(3);
    if (header.FrameBytes() == 0 || header.bsid > Ac3Header::kMaxBsid) return std::nullopt;
    const bool threeFront = (header.acmod & 1) != 0 && header.acmod != kAcmodDualMono;
    const bool surround = (header.acmod & 4) != 0;
    if (threeFront) bits.Skip(2);                    // cmixlev
    if (surround) bits.Skip(2);                      // surmixlev
    if (header.acmod == kAcmodStereo) bits.Skip(2);  // dsurmod
    header.lfeOn = bits.Read(1);
    return header;
}

Ac3Header::Record Ac3Header::ToRecord() const {
    Record record{};
    record[kRecRate] = static_cast<uint8_t>(sampleRateCode);
    record[kRecFrameSize] = static_cast<uint8_t>(frameSizeCode);
    record[kRecBsmod] = static_cast<uint8_t>(bsmod);
    record[kRecAcmod] = static_cast<uint8_t>(acmod);
    record[kRecLfe] = static_cast<uint8_t>(lfeOn);
    return record;
}

int Ac3Header::FrameBytes() const {
    return ac3::FrameBytes(frameSizeCode, sampleRateCode);
}

int Ac3Header::SampleRate() const {
    return ac3::SampleRate(sampleRateCode);
}

}  // namespace tavrisk::ac3
