#include "platform/WavWriter.h"

namespace tavrisk {

std::array<uint8_t, WavWriter::kFormatSize> WavWriter::FormatRecord(int channels,
                                                                    int samplesPerSecond,
                                                                    int bitsPerSample) const {
    const auto blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    std::array<uint8_t, kFormatSize> format{};
    PutLe16(format.data(), kFormatPcm);
    PutLe16(format.data() + 2, static_cast<uint16_t>(channels));
    PutLe32(format.data() + 4, static_cast<uint32_t>(samplesPerSecond));
    PutLe32(format.data() + 8, static_cast<uint32_t>(samplesPerSecond) * blockAlign);
    PutLe16(format.data() + 12, blockAlign);
    PutLe16(format.data() + 14, static_cast<uint16_t>(bitsPerSample));
    // The extra-size field holds the record's own length.
    PutLe16(format.data() + 16, static_cast<uint16_t>(kFormatSize));
    return format;
}

bool WavWriter::Open(const std::string& fileName, int channels, int samplesPerSecond,
                     int bitsPerSample) {
    Close();
    if (!riff.Create(fileName)) {
        return false;
    }
    const auto format = FormatRecord(channels, samplesPerSecond, bitsPerSample);
    const bool headerWritten = riff.CreateRiff(FourCc("WAVE"), riffChunk) &&
                               riff.CreateChunk(FourCc("fmt "), subChunk) &&
                               riff.Write(format.data(), format.size()) && riff.Ascend(subChunk) &&
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
