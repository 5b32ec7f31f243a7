// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/DecodedAudioOrder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <utility>

#include "dsp/ChannelProcessor.h"
#include "dsp/PlanesToFrames.h"
#include "graph/AudioLayout.h"
#include "platform/Libav.h"

namespace tavrisk {
namespace {

constexpr auto kFullScale = static_cast<double>(ChannelProcessor::kFullScale);
constexpr double kLowest = -32768.0;
// The film's six channels, as a count of array slots.
constexpr auto kFilmSlots = static_cast<std::size_t>(kFilmChannels);

struct PositionOfChannel {
    AVChannel channel;
    GstAudioChannelPosition position;
};
constexpr std::array<PositionOfChannel, 23> kPositions = {{
    {AV_CHAN_FRONT_LEFT, GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT},
    {AV_CHAN_FRONT_RIGHT, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT},
    {AV_CHAN_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER},
    {AV_CHAN_LOW_FREQUENCY, GST_AUDIO_CHANNEL_POSITION_LFE1},
    {AV_CHAN_BACK_LEFT, GST_AUDIO_CHANNEL_POSITION_REAR_LEFT},
    {AV_CHAN_BACK_RIGHT, GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT},
    {AV_CHAN_FRONT_LEFT_OF_CENTER, GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER},
    {AV_CHAN_FRONT_RIGHT_OF_CENTER, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER},
    {AV_CHAN_BACK_CENTER, GST_AUDIO_CHANNEL_POSITION_REAR_CENTER},
    {AV_CHAN_SIDE_LEFT, GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT},
    {AV_CHAN_SIDE_RIGHT, GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT},
    {AV_CHAN_TOP_CENTER, GST_AUDIO_CHANNEL_POSITION_TOP_CENTER},
    {AV_CHAN_TOP_FRONT_LEFT, GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_LEFT},
    {AV_CHAN_TOP_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_CENTER},
    {AV_CHAN_TOP_FRONT_RIGHT, GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_RIGHT},
    {AV_CHAN_TOP_BACK_LEFT, GST_AUDIO_CHANNEL_POSITION_TOP_REAR_LEFT},
    {AV_CHAN_TOP_BACK_CENTER, GST_AUDIO_CHANNEL_POSITION_TOP_REAR_CENTER},
    {AV_CHAN_TOP_BACK_RIGHT, GST_AUDIO_CHANNEL_POSITION_TOP_REAR_RIGHT},
    {AV_CHAN_WIDE_LEFT, GST_AUDIO_CHANNEL_POSITION_WIDE_LEFT},
    {AV_CHAN_WIDE_RIGHT, GST_AUDIO_CHANNEL_POSITION_WIDE_RIGHT},
    {AV_CHAN_SURROUND_DIRECT_LEFT, GST_AUDIO_CHANNEL_POSITION_SURROUND_LEFT},
    {AV_CHAN_SURROUND_DIRECT_RIGHT, GST_AUDIO_CHANNEL_POSITION_SURROUND_RIGHT},
    {AV_CHAN_LOW_FREQUENCY_2, GST_AUDIO_CHANNEL_POSITION_LFE2},
}};

GstAudioChannelPosition PositionOf(AVChannel channel) {
    for (const PositionOfChannel& known : kPositions) {
        if (known.channel == channel) return known.position;
    }
    return GST_AUDIO_CHANNEL_POSITION_INVALID;
}

void Unpositioned(int channels, InterleaveOrder& order) {
    order.positions.assign(static_cast<std::size_t>(channels), GST_AUDIO_CHANNEL_POSITION_NONE);
    order.planeOfChannel.resize(static_cast<std::size_t>(channels));
    std::iota(order.planeOfChannel.begin(), order.planeOfChannel.end(), 0);
}

// Inlined into the loops below (a call per sample costs more than the work).
inline int16_t ScaledToS16(float sample) {
    double scaled = static_cast<double>(sample) * kFullScale;
    scaled = scaled == scaled ? scaled : 0.0;
    scaled = scaled < kFullScale ? scaled : kFullScale;
    scaled = scaled > kLowest ? scaled : kLowest;
    // To the nearest, halves away from zero: a float times 32767 carries at most 39
    // significant bits, so adding the half cannot round across a whole number.
    return static_cast<int16_t>(scaled + (scaled < 0.0 ? -0.5 : 0.5));
}

}  // namespace

GraphOutcome OrderOfLayout(const AVChannelLayout& layout, InterleaveOrder& order) {
    const int channels = layout.nb_channels;
    if (channels <= 0) return GraphOutcome::Failure("the decoded frame has no channels");
    if (channels == 1) {
        order.positions = {GST_AUDIO_CHANNEL_POSITION_MONO};
        order.planeOfChannel = {0};
        return {};
    }
    std::vector<std::pair<GstAudioChannelPosition, int>> named;
    for (int plane = 0; plane < channels; ++plane) {
        const GstAudioChannelPosition position = PositionOf(
            Libav().av_channel_layout_channel_from_index(&layout, static_cast<unsigned>(plane)));
        if (position == GST_AUDIO_CHANNEL_POSITION_INVALID) {
            Unpositioned(channels, order);
            return {};
        }
        named.emplace_back(position, plane);
    }
    // GStreamer's order is that of the positions' values.
    std::sort(named.begin(), named.end());
    const bool repeated = std::adjacent_find(named.begin(), named.end(), [](auto& a, auto& b) {
                              return a.first == b.first;
                          }) != named.end();
    if (repeated) {
        Unpositioned(channels, order);
        return {};
    }
    order.positions.clear();
    order.planeOfChannel.clear();
    for (const auto& [position, plane] : named) {
        order.positions.push_back(position);
        order.planeOfChannel.push_back(plane);
    }
    return {};
}

int16_t FloatToS16(float sample) {
    return ScaledToS16(sample);
}

namespace {

constexpr int64_t kHalfOfLowBits = int64_t{1} << 15;  // of the 16 bits a 32-bit sample loses

// A 32-bit sample in 16-bit steps (exact for the 24 bits of lossless codecs), then scaled as
// 16-bit sources scale their samples.
constexpr float kStepsOf32Bits = 1.0f / 65536.0f;
constexpr std::array<float, kFilmSlots> kUnitGains = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};

// The interleaving of every sample format, `convert` turning one sample into an output value.
template <typename Sample, typename Output, typename Convert>
void Interleave(const Sample* const* planes, const InterleaveOrder& order, int samples, Output* out,
                Convert convert) {
    const std::size_t channels = order.planeOfChannel.size();
    if (channels == kFilmSlots) {
        // The usual case, unrolled: a frame's six values are written in a row.
        std::array<const Sample*, kFilmSlots> source{};
        for (std::size_t c = 0; c < kFilmSlots; ++c) source[c] = planes[order.planeOfChannel[c]];
        for (int i = 0; i < samples; ++i, out += kFilmSlots) {
#pragma GCC unroll 6
            for (std::size_t c = 0; c < kFilmSlots; ++c) out[c] = convert(source[c][i]);
        }
        return;
    }
    for (std::size_t c = 0; c < channels; ++c) {
        const Sample* plane = planes[order.planeOfChannel[c]];
        Output* target = out + c;
        for (int i = 0; i < samples; ++i, target += channels) *target = convert(plane[i]);
    }
}

// Planar floats as they are; six channels (a film's) by the vectorised kernel.
void InterleaveFloats(const float* const* planes, const InterleaveOrder& order, int samples,
                      float* out) {
    if (order.planeOfChannel.size() != kFilmSlots) {
        Interleave(planes, order, samples, out, [](float sample) { return sample; });
        return;
    }
    std::array<const float*, kFilmSlots> source{};
    for (std::size_t c = 0; c < kFilmSlots; ++c) source[c] = planes[order.planeOfChannel[c]];
    PlanesToFrames(source.data(), kUnitGains.data(), static_cast<std::size_t>(samples), out);
}

}  // namespace

void InterleaveToS16(const float* const* planes, const InterleaveOrder& order, int samples,
                     int16_t* out) {
    Interleave(planes, order, samples, out, ScaledToS16);
}

GraphOutcome InterleaveFrameToS16(int format, const uint8_t* const* planes,
                                  const InterleaveOrder& order, int samples, int16_t* out) {
    switch (format) {
        case AV_SAMPLE_FMT_FLTP:
            InterleaveToS16(reinterpret_cast<const float* const*>(planes), order, samples, out);
            return {};
        case AV_SAMPLE_FMT_S16P:
            Interleave(reinterpret_cast<const int16_t* const*>(planes), order, samples, out,
                       [](int16_t sample) { return sample; });
            return {};
        case AV_SAMPLE_FMT_S32P:
            Interleave(reinterpret_cast<const int32_t* const*>(planes), order, samples, out,
                       [](int32_t sample) {
                           // The top 16 bits, rounded to the nearest: a 16-bit source
                           // widened by a lossless codec comes back exactly.
                           const int64_t rounded = (int64_t{sample} + kHalfOfLowBits) >> 16;
                           return static_cast<int16_t>(std::min<int64_t>(rounded, INT16_MAX));
                       });
            return {};
        default:
            return GraphOutcome::Failure("the decoded samples are in a format not taken");
    }
}

GstAudioFormat OutputFormatOf(int format) {
    return format == AV_SAMPLE_FMT_S16P ? GST_AUDIO_FORMAT_S16 : GST_AUDIO_FORMAT_F32;
}

GraphOutcome InterleaveFrameToF32(int format, const uint8_t* const* planes,
                                  const InterleaveOrder& order, int samples, float* out) {
    switch (format) {
        case AV_SAMPLE_FMT_FLTP:
            InterleaveFloats(reinterpret_cast<const float* const*>(planes), order, samples, out);
            return {};
        case AV_SAMPLE_FMT_S32P:
            Interleave(reinterpret_cast<const int32_t* const*>(planes), order, samples, out,
                       [](int32_t sample) {
                           return static_cast<float>(sample) * kStepsOf32Bits *
                                  ChannelProcessor::kSampleScale;
                       });
            return {};
        default:
            return GraphOutcome::Failure("the decoded samples are in a format not taken");
    }
}

}  // namespace tavrisk
