// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/WavFileSink.h"

#include <array>
#include <bit>
#include <cstring>

#include "platform/RiffChunk.h"

namespace tavrisk {

namespace {

constexpr int kSixChannels = 6;
constexpr int kTwoChannels = 2;
// The decoded channel (L, C, R, LS, RS, LFE) of each standard one, FL FR FC LFE BL BR.
constexpr std::array<std::size_t, kSixChannels> kDecodedOfStandard = {0, 2, 1, 5, 3, 4};

}  // namespace

bool WavFileSink::Start(int channels, int sampleRate) {
    uint32_t mask = 0;
    reorder = false;
    if (order == WavChannelOrder::kStandard && channels == kSixChannels) {
        mask = speaker::k51;
        reorder = true;
    } else if (order == WavChannelOrder::kStandard && channels == kTwoChannels) {
        mask = speaker::kStereo;
    }
    return wav.Open(path, channels, sampleRate, WavWriter::kBitsPerSample, mask);
}

bool WavFileSink::Write(std::span<const int16_t> samples) {
    if (reorder) {
        // Every frame has the same size: the buffer grows once.
        if (ordered.size() < samples.size()) ordered.resize(samples.size());
        for (std::size_t frame = 0; frame + kSixChannels <= samples.size(); frame += kSixChannels) {
            for (std::size_t c = 0; c < kSixChannels; ++c)
                ordered[frame + c] = samples[frame + kDecodedOfStandard[c]];
        }
        samples = std::span<const int16_t>(ordered.data(), samples.size());
    }
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
