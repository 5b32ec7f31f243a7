#include "cli/WavFileSink.h"

#include <bit>
#include <cstring>

#include "platform/RiffChunk.h"

namespace tavrisk {

bool WavFileSink::Start(int channels, int sampleRate) {
    return wav.Open(path, channels, sampleRate, WavWriter::kBitsPerSample);
}

bool WavFileSink::Write(std::span<const int16_t> samples) {
    const std::size_t count = samples.size() * WavWriter::kBytesPerSample;
    // Every frame has the same size: the buffer grows once.
    if (bytes.size() < count) bytes.resize(count);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes.data(), samples.data(), count);
    } else {
        for (std::size_t i = 0; i < samples.size(); ++i)
            PutLe16(bytes.data() + i * WavWriter::kBytesPerSample,
                    static_cast<uint16_t>(samples[i]));
    }
    return wav.Write(bytes.data(), count);
}

}  // namespace tavrisk
