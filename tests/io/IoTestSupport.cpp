// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/io/IoTestSupport.h"

#include "platform/RiffChunk.h"
#include "platform/WavWriter.h"

namespace tavrisk::test {

namespace {

void Append32(std::vector<uint8_t>& bytes, uint32_t value) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 4);
    PutLe32(bytes.data() + at, value);
}

void Append16(std::vector<uint8_t>& bytes, uint16_t value) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 2);
    PutLe16(bytes.data() + at, value);
}

}  // namespace

std::vector<uint8_t> BuildWav(const WavLayout& layout) {
    std::vector<uint8_t> body;
    Append32(body, FourCc("WAVE"));
    if (layout.withFmt) {
        Append32(body, FourCc("fmt "));
        Append32(body, layout.fmtSize);
        const std::size_t start = body.size();
        const uint16_t blockAlign = static_cast<uint16_t>(layout.channels * layout.bits / 8);
        Append16(body, layout.formatTag);
        Append16(body, layout.channels);
        Append32(body, layout.rate);
        Append32(body, layout.rate * blockAlign);
        Append16(body, blockAlign);
        Append16(body, layout.bits);
        if (layout.fmtSize >= 40) {
            Append16(body, 22);
            Append16(body, layout.bits);
            Append32(body, layout.channelMask);
            body.insert(body.end(), WavWriter::kPcmSubFormat.begin(),
                        WavWriter::kPcmSubFormat.end());
        }
        body.resize(start + layout.fmtSize);
        if (layout.fmtSize & 1u) body.push_back(0);
    }
    if (layout.withData) {
        const auto size = static_cast<uint32_t>(layout.samples.size() * 2);
        Append32(body, FourCc("data"));
        Append32(body, layout.declaredDataSize.value_or(size));
        for (const int16_t sample : layout.samples) Append16(body, static_cast<uint16_t>(sample));
    }
    if (!layout.trailingChunk.empty()) {
        Append32(body, FourCc("LIST"));
        Append32(body, static_cast<uint32_t>(layout.trailingChunk.size()));
        body.insert(body.end(), layout.trailingChunk.begin(), layout.trailingChunk.end());
    }
    std::vector<uint8_t> bytes;
    Append32(bytes, FourCc("RIFF"));
    Append32(bytes, static_cast<uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

std::vector<int16_t> MakeFrames(std::size_t frames, int channels,
                                const std::function<int16_t(std::size_t, int)>& value) {
    std::vector<int16_t> samples(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        for (int k = 0; k < channels; ++k) samples[i * channels + k] = value(i, k);
    }
    return samples;
}

}  // namespace tavrisk::test
