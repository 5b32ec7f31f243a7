// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3AudioDecoder.h"

#include "dsp/PlanesToFrames.h"
#include "platform/Libav.h"
#include "platform/LibraryLog.h"
#include "sources/ac3/Ac3FrameSizes.h"

namespace tavrisk::ac3 {
namespace {

// Output slot -> the channels libavcodec may name for it (surrounds as side or back).
struct ChannelChoice {
    AVChannel first;
    AVChannel second;
};
constexpr std::array<ChannelChoice, Ac3AudioDecoder::kChannels> kOutputChannels = {{
    {AV_CHAN_FRONT_LEFT, AV_CHAN_FRONT_LEFT},
    {AV_CHAN_FRONT_CENTER, AV_CHAN_FRONT_CENTER},
    {AV_CHAN_FRONT_RIGHT, AV_CHAN_FRONT_RIGHT},
    {AV_CHAN_SIDE_LEFT, AV_CHAN_BACK_LEFT},
    {AV_CHAN_SIDE_RIGHT, AV_CHAN_BACK_RIGHT},
    {AV_CHAN_LOW_FREQUENCY, AV_CHAN_LOW_FREQUENCY},
}};
constexpr int kSlotLs = 3;
constexpr int kSlotRs = 4;
// A single surround channel goes to both surround slots with its power kept.
constexpr float kMinus3Db = 0.70710678f;

}  // namespace

bool Ac3AudioDecoder::Open() {
    LibraryLog::CaptureLibav();
    if (LoadLibav() == nullptr) return false;
    const AVCodec* codec = Libav().avcodec_find_decoder(AV_CODEC_ID_AC3);
    if (codec == nullptr) return false;
    context.reset(Libav().avcodec_alloc_context3(codec));
    decoded.reset(Libav().av_frame_alloc());
    if (!context || !decoded) return false;
    // Full dynamic range: the channel processing does its own dynamics.
    if (Libav().av_opt_set_double(context->priv_data, "drc_scale", 0.0, 0) < 0) return false;
    context->request_sample_fmt = AV_SAMPLE_FMT_FLTP;
    return Libav().avcodec_open2(context.get(), codec, nullptr) >= 0;
}

bool Ac3AudioDecoder::Decode(std::span<const uint8_t> frame, float* out) {
    if (!context || frame.empty() || frame.size() > kMaxFrameBytes) return false;
    const AVPacket* held = packet.Hold(frame);
    if (held == nullptr) return false;
    const int sent = Libav().avcodec_send_packet(context.get(), held);
    packet.Release();
    if (sent < 0) return false;
    if (Libav().avcodec_receive_frame(context.get(), decoded.get()) < 0) return false;
    const bool shaped =
        decoded->nb_samples == kSamplesPerFrame && decoded->format == AV_SAMPLE_FMT_FLTP;
    if (shaped) {
        MapChannels();
        CopyPlanes(out);
    }
    Libav().av_frame_unref(decoded.get());
    return shaped;
}

void Ac3AudioDecoder::MapChannels() {
    const AVChannelLayout& layout = decoded->ch_layout;
    for (int k = 0; k < kChannels; ++k) {
        int index = Libav().av_channel_layout_index_from_channel(&layout, kOutputChannels[k].first);
        if (index < 0) {
            index =
                Libav().av_channel_layout_index_from_channel(&layout, kOutputChannels[k].second);
        }
        planeOfSlot[k] = index < 0 ? kNoPlane : index;
    }
    const int single = Libav().av_channel_layout_index_from_channel(&layout, AV_CHAN_BACK_CENTER);
    surroundPlane = single < 0 ? kNoPlane : single;
}

void Ac3AudioDecoder::CopyPlanes(float* out) const {
    // A slot the layout lacks reads silence.
    static constexpr std::array<float, kSamplesPerFrame> kSilence{};
    std::array<const float*, kChannels> source{};
    std::array<float, kChannels> gain{};
    for (int k = 0; k < kChannels; ++k) {
        int plane = planeOfSlot[k];
        gain[k] = 1.0f;
        if (plane == kNoPlane && (k == kSlotLs || k == kSlotRs)) {
            plane = surroundPlane;
            gain[k] = kMinus3Db;
        }
        source[k] = plane == kNoPlane
                        ? kSilence.data()
                        : reinterpret_cast<const float*>(decoded->extended_data[plane]);
    }
    PlanesToFrames(source.data(), gain.data(), kSamplesPerFrame, out);
}

}  // namespace tavrisk::ac3
