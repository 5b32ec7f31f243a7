// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WavWriter.h"

#include <algorithm>

namespace tavrisk {

std::size_t WavWriter::FormatRecord(int channels, int samplesPerSecond, int bitsPerSample,
                                    uint32_t channelMask, Record& format) {
    constexpr uint16_t kExtensionSize = kExtensibleFormatSize - kFormatSize;
    const auto blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    format.fill(0);
    PutLe16(format.data(), channelMask ? kFormatExtensible : kFormatPcm);
    PutLe16(format.data() + 2, static_cast<uint16_t>(channels));
    PutLe32(format.data() + 4, static_cast<uint32_t>(samplesPerSecond));
    PutLe32(format.data() + 8, static_cast<uint32_t>(samplesPerSecond) * blockAlign);
    PutLe16(format.data() + 12, blockAlign);
    PutLe16(format.data() + 14, static_cast<uint16_t>(bitsPerSample));
    if (!channelMask) {
        // The extra-size field holds the record's own length.
        PutLe16(format.data() + 16, static_cast<uint16_t>(kFormatSize));
        return kFormatSize;
    }
    // Extra size, valid bits, the mask and the sub-format.
    PutLe16(format.data() + 16, kExtensionSize);
    PutLe16(format.data() + 18, static_cast<uint16_t>(bitsPerSample));
    PutLe32(format.data() + 20, channelMask);
    std::copy(kPcmSubFormat.begin(), kPcmSubFormat.end(), format.begin() + 24);
    return kExtensibleFormatSize;
}

bool WavWriter::Open(const std::string& fileName, int channels, int samplesPerSecond,
                     int bitsPerSample, uint32_t channelMask) {
    Close();
    if (!riff.Create(fileName)) {
        return false;
    }
    Record format;
    const std::size_t size =
        FormatRecord(channels, samplesPerSecond, bitsPerSample, channelMask, format);
    const bool headerWritten = riff.CreateRiff(FourCc("WAVE"), riffChunk) &&
                               riff.CreateChunk(FourCc("fmt "), subChunk) &&
                               riff.Write(format.data(), size) && riff.Ascend(subChunk) &&
                               riff.CreateChunk(FourCc("data"), subChunk);
    if (!headerWritten) {
        // A file without its header is no WAV file: do not leave it behind.
        riff.Discard();
    }
    return headerWritten;
}

bool WavWriter::Close(OutputEnd end) {
    if (!riff.IsOpen()) {
        return true;
    }
    const bool ascended = riff.Ascend(subChunk) && riff.Ascend(riffChunk);
    const bool closed = riff.Close(end);
    return ascended && closed;
}

}  // namespace tavrisk
