// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/WavFileSink.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "platform/RiffChunk.h"

namespace tavrisk {

namespace {

using mp2dec::Speaker;

constexpr int kSixChannels = 6;
// The values of a frame of six.
constexpr std::size_t kSixValues = kSixChannels;
constexpr int kTwoChannels = 2;

// The speaker bit of a channel in the mask; a mono channel has none (plain PCM).
uint32_t BitOf(Speaker where) {
    switch (where) {
        case Speaker::kFrontLeft:
            return speaker::kFrontLeft;
        case Speaker::kFrontRight:
            return speaker::kFrontRight;
        case Speaker::kFrontCentre:
            return speaker::kFrontCenter;
        case Speaker::kLfe:
            return speaker::kLowFrequency;
        case Speaker::kBackLeft:
            return speaker::kBackLeft;
        case Speaker::kBackRight:
            return speaker::kBackRight;
        case Speaker::kBackCentre:
            return speaker::kBackCenter;
        case Speaker::kMono:
            break;
    }
    return 0;
}

// The layout of a sink started with a count alone: six channels are 5.1, two a pair.
mp2dec::OutputLayout LayoutOfCount(int channels) {
    mp2dec::OutputLayout layout;
    if (channels == kSixChannels) {
        const Speaker six[] = {Speaker::kFrontLeft, Speaker::kFrontCentre, Speaker::kFrontRight,
                               Speaker::kBackLeft,  Speaker::kBackRight,   Speaker::kLfe};
        for (int c = 0; c < kSixChannels; ++c) layout.Add(c, six[c]);
    } else if (channels == kTwoChannels) {
        layout.Add(mp2dec::kOutL, Speaker::kFrontLeft);
        layout.Add(mp2dec::kOutR, Speaker::kFrontRight);
    } else {
        for (int c = 0; c < channels; ++c) layout.Add(c, Speaker::kMono);
    }
    return layout;
}

}  // namespace

bool WavFileSink::Start(int channels, int sampleRate) {
    return Start(LayoutOfCount(channels), sampleRate);
}

bool WavFileSink::Start(const mp2dec::OutputLayout& layout, int sampleRate) {
    const auto count = static_cast<std::size_t>(layout.count);
    uint32_t mask = 0;
    decodedOfStored.resize(count);
    for (std::size_t c = 0; c < count; ++c) decodedOfStored[c] = c;
    if (order == WavChannelOrder::kStandard) {
        for (std::size_t c = 0; c < count; ++c) mask |= BitOf(layout.speaker[c]);
        // Stored by speaker: the samples come in decoded order.
        std::stable_sort(
            decodedOfStored.begin(), decodedOfStored.end(),
            [&](std::size_t a, std::size_t b) { return layout.speaker[a] < layout.speaker[b]; });
    }
    reorder = false;
    for (std::size_t c = 0; c < count; ++c) reorder = reorder || decodedOfStored[c] != c;
    return wav.Open(path, layout.count, sampleRate, WavWriter::kBitsPerSample, mask);
}

namespace {

// Each frame's samples in the order `decodedOfStored` gives.
void Reorder(std::span<const int16_t> samples, const std::vector<std::size_t>& decodedOfStored,
             int16_t* ordered) {
    const std::size_t channels = decodedOfStored.size();
    for (std::size_t frame = 0; frame + channels <= samples.size(); frame += channels) {
        for (std::size_t c = 0; c < channels; ++c)
            ordered[frame + c] = samples[frame + decodedOfStored[c]];
    }
}

// The same for frames of six, the order held where the stores cannot change it.
void ReorderSix(std::span<const int16_t> samples, const std::vector<std::size_t>& decodedOfStored,
                int16_t* ordered) {
    std::array<std::size_t, kSixValues> from{};
    std::copy(decodedOfStored.begin(), decodedOfStored.end(), from.begin());
    const int16_t* in = samples.data();
    for (std::size_t frame = 0; frame + kSixValues <= samples.size(); frame += kSixValues) {
#pragma GCC unroll 6
        for (std::size_t c = 0; c < kSixValues; ++c) ordered[frame + c] = in[frame + from[c]];
    }
}

}  // namespace

bool WavFileSink::Write(std::span<const int16_t> samples) {
    if (reorder) {
        // Every frame has the same size: the buffer grows once.
        if (ordered.size() < samples.size()) ordered.resize(samples.size());
        if (decodedOfStored.size() == kSixValues)
            ReorderSix(samples, decodedOfStored, ordered.data());
        else
            Reorder(samples, decodedOfStored, ordered.data());
        samples = std::span<const int16_t>(ordered.data(), samples.size());
    }
    const std::size_t count = samples.size() * WavWriter::kBytesPerSample;
    // The samples' own bytes are the file's on a little-endian machine.
    if constexpr (std::endian::native == std::endian::little)
        return wav.Write(samples.data(), count);
    // Every frame has the same size: the buffer grows once.
    if (bytes.size() < count) bytes.resize(count);
    for (std::size_t i = 0; i < samples.size(); ++i)
        PutLe16(bytes.data() + i * WavWriter::kBytesPerSample, static_cast<uint16_t>(samples[i]));
    return wav.Write(bytes.data(), count);
}

}  // namespace tavrisk
