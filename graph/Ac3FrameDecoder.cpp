#include "graph/Ac3FrameDecoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace tavrisk {
namespace {

constexpr const char* kDrcOption = "drc_scale";

}  // namespace

bool Ac3FrameDecoder::Open(Codec wanted) {
    Close();
    if (!OpenContext(wanted)) {
        Close();
        return false;
    }
    codec = wanted;
    return true;
}

bool Ac3FrameDecoder::OpenContext(Codec wanted) {
    const AVCodec* found =
        avcodec_find_decoder(wanted == Codec::kEac3 ? AV_CODEC_ID_EAC3 : AV_CODEC_ID_AC3);
    if (found == nullptr) return false;
    context.reset(avcodec_alloc_context3(found));
    decoded.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    if (!context || !decoded || !packet) return false;
    // Full dynamic range: the channel processing does its own dynamics.
    if (av_opt_set_double(context->priv_data, kDrcOption, kDrcScale, 0) < 0) return false;
    context->request_sample_fmt = AV_SAMPLE_FMT_FLTP;
    return avcodec_open2(context.get(), found, nullptr) >= 0;
}

void Ac3FrameDecoder::Close() {
    context.reset();
    decoded.reset();
    packet.reset();
}

double Ac3FrameDecoder::DrcScale() const {
    double scale = kDrcScale;
    if (context) av_opt_get_double(context->priv_data, kDrcOption, 0, &scale);
    return scale;
}

bool Ac3FrameDecoder::Send(std::span<const uint8_t> frame) {
    if (!context || frame.empty()) return false;
    packetBytes.resize(frame.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(packetBytes.data(), frame.data(), frame.size());
    std::memset(packetBytes.data() + frame.size(), 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet->data = packetBytes.data();
    packet->size = static_cast<int>(frame.size());
    const int sent = avcodec_send_packet(context.get(), packet.get());
    packet->data = nullptr;
    packet->size = 0;
    return sent >= 0;
}

void Ac3FrameDecoder::SendEnd() {
    if (context) avcodec_send_packet(context.get(), nullptr);
}

Ac3FrameDecoder::Result Ac3FrameDecoder::Receive() {
    if (!context) return Result::kNeedMore;
    av_frame_unref(decoded.get());
    const int received = avcodec_receive_frame(context.get(), decoded.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return Result::kNeedMore;
    if (received < 0) return Result::kDamaged;
    const bool usable = decoded->format == AV_SAMPLE_FMT_FLTP && decoded->nb_samples > 0 &&
                        decoded->ch_layout.nb_channels > 0 && decoded->sample_rate > 0;
    return usable ? Result::kFrame : Result::kDamaged;
}

void Ac3FrameDecoder::Flush() {
    if (context) avcodec_flush_buffers(context.get());
}

}  // namespace tavrisk
