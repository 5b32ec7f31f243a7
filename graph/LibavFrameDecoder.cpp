// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/LibavFrameDecoder.h"

#include <cstring>

#include "platform/Libav.h"
#include "platform/LibraryLog.h"

namespace tavrisk {
namespace {

constexpr const char* kDrcOption = "drc_scale";
// The frames' checksums are verified, and a failed check fails the frame instead of being
// logged. (The stricter checks of the bitstream's rules would refuse sound frames of
// encoders that bend them.)
constexpr int kErrorDetection = AV_EF_CRCCHECK | AV_EF_EXPLODE;
constexpr const char* kOutOfMemory = "libavcodec could not allocate the decoder";

AVCodecID CodecId(LibavFrameDecoder::Codec codec) {
    switch (codec) {
        case LibavFrameDecoder::Codec::kEac3:
            return AV_CODEC_ID_EAC3;
        case LibavFrameDecoder::Codec::kDts:
            return AV_CODEC_ID_DTS;
        case LibavFrameDecoder::Codec::kFlac:
            return AV_CODEC_ID_FLAC;
        case LibavFrameDecoder::Codec::kAc3:
            break;
    }
    return AV_CODEC_ID_AC3;
}

bool TakenFormat(int format) {
    return format == AV_SAMPLE_FMT_FLTP || format == AV_SAMPLE_FMT_S16P ||
           format == AV_SAMPLE_FMT_S32P;
}

bool HasDrcOption(LibavFrameDecoder::Codec codec) {
    return codec == LibavFrameDecoder::Codec::kAc3 || codec == LibavFrameDecoder::Codec::kEac3;
}

}  // namespace

GraphOutcome LibavFrameDecoder::Open(Codec wanted, std::span<const uint8_t> setup) {
    Close();
    LibraryLog::CaptureLibav();
    if (LoadLibav() == nullptr) return GraphOutcome::Failure(LibavLoadProblem());
    GraphOutcome opened = OpenContext(wanted, setup);
    if (!opened) {
        Close();
        return opened;
    }
    codec = wanted;
    return {};
}

GraphOutcome LibavFrameDecoder::OpenContext(Codec wanted, std::span<const uint8_t> setup) {
    const AVCodec* found = Libav().avcodec_find_decoder(CodecId(wanted));
    if (found == nullptr) return GraphOutcome::Failure("libavcodec has no decoder of the codec");
    context.reset(Libav().avcodec_alloc_context3(found));
    decoded.reset(Libav().av_frame_alloc());
    if (!context || !decoded) return GraphOutcome::Failure(kOutOfMemory);
    // Full dynamic range: the channel processing does its own dynamics.
    if (HasDrcOption(wanted) &&
        Libav().av_opt_set_double(context->priv_data, kDrcOption, kDrcScale, 0) < 0) {
        return GraphOutcome::Failure(
            "the decoder's dynamic range compression cannot be turned off");
    }
    if (!setup.empty()) {
        context->extradata =
            static_cast<uint8_t*>(Libav().av_mallocz(setup.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (context->extradata == nullptr) return GraphOutcome::Failure(kOutOfMemory);
        std::memcpy(context->extradata, setup.data(), setup.size());
        context->extradata_size = static_cast<int>(setup.size());
    }
    // Lossless FLAC of up to 16 bits comes out as it is; the others as floats.
    context->request_sample_fmt = wanted == Codec::kFlac ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_FLTP;
    context->err_recognition = kErrorDetection;
    if (Libav().avcodec_open2(context.get(), found, nullptr) < 0)
        return GraphOutcome::Failure("libavcodec's decoder could not be opened");
    return {};
}

void LibavFrameDecoder::Close() {
    context.reset();
    decoded.reset();
    sendErrors = damagedSamples = 0;
}

double LibavFrameDecoder::DrcScale() const {
    double scale = kDrcScale;
    if (context && HasDrcOption(codec))
        Libav().av_opt_get_double(context->priv_data, kDrcOption, 0, &scale);
    return scale;
}

bool LibavFrameDecoder::Send(std::span<const uint8_t> frame) {
    if (!context || frame.empty()) return false;
    const AVPacket* held = packet.Hold(frame);
    if (held == nullptr) {
        Damaged(0);
        return false;
    }
    const LibavErrorWatch watch;
    const int sent = Libav().avcodec_send_packet(context.get(), held);
    packet.Release();
    sendErrors = watch.Errors();
    if (sent < 0) {
        Damaged(0);
        return false;
    }
    return true;
}

void LibavFrameDecoder::SendEnd() {
    if (context) Libav().avcodec_send_packet(context.get(), nullptr);
}

LibavFrameDecoder::Result LibavFrameDecoder::Receive() {
    if (!context) return Result::kNeedMore;
    Libav().av_frame_unref(decoded.get());
    const LibavErrorWatch watch;
    const int received = Libav().avcodec_receive_frame(context.get(), decoded.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return Result::kNeedMore;
    const int errors = watch.Errors() + sendErrors;
    sendErrors = 0;
    if (received < 0) return Damaged(0);
    const bool usable = TakenFormat(decoded->format) && decoded->nb_samples > 0 &&
                        decoded->ch_layout.nb_channels > 0 && decoded->sample_rate > 0;
    if (!usable || errors > 0) return Damaged(decoded->nb_samples);
    return Result::kFrame;
}

LibavFrameDecoder::Result LibavFrameDecoder::Damaged(int samples) {
    damagedSamples = samples > 0 ? samples : 0;
    // What the decoder carries from frame to frame (overlaps, predictions) is suspect now.
    Libav().avcodec_flush_buffers(context.get());
    return Result::kDamaged;
}

void LibavFrameDecoder::Flush() {
    if (context) Libav().avcodec_flush_buffers(context.get());
    sendErrors = damagedSamples = 0;
}

}  // namespace tavrisk
