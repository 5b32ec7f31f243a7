// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Mp2DecoderElement.h"

#include <gst/audio/gstaudiodecoder.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "mp2dec/FrameDecoder.h"

namespace tavrisk {
namespace {

constexpr std::size_t kSixChannels = mp2dec::kOutputChannels;
constexpr std::size_t kPairChannels = 2;
constexpr std::size_t kMonoChannels = 1;
// Decoded order L, C, R, LS, RS, LFE; GStreamer's order of the 5.1 positions is FL FR FC LFE
// RL RR.
constexpr std::array<int, kSixChannels> kDecodedOfOutput = {
    mp2dec::kOutL, mp2dec::kOutR, mp2dec::kOutC, mp2dec::kOutLfe, mp2dec::kOutLs, mp2dec::kOutRs};
constexpr std::array<GstAudioChannelPosition, kSixChannels> kSixPositions = {
    GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT,  GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT,
    GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_LFE1,
    GST_AUDIO_CHANNEL_POSITION_REAR_LEFT,   GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT};
constexpr GstAudioChannelPosition kMonoPosition = GST_AUDIO_CHANNEL_POSITION_MONO;
constexpr std::array<GstAudioChannelPosition, kPairChannels> kPairPositions = {
    GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT};

// Streaming-thread state; the base class serialises the calls that touch it.
struct DecoderState {
    std::unique_ptr<mp2dec::FrameDecoder> decoder;
    std::vector<int16_t> decoded = std::vector<int16_t>(mp2dec::kFrameSamples * kSixChannels);
    std::size_t channels = 0;  // of the output: 0 until the first frame fixed it
    int rate = 0;
    long frameNumber = 0;
};

struct TavriskMp2Dec {
    GstAudioDecoder parent;
    DecoderState* state;
};

struct TavriskMp2DecClass {
    GstAudioDecoderClass parentClass;
};

G_DEFINE_TYPE(TavriskMp2Dec, tavrisk_mp2_dec, GST_TYPE_AUDIO_DECODER)

DecoderState& StateOf(gpointer object) {
    return *reinterpret_cast<TavriskMp2Dec*>(object)->state;
}

void Finalize(GObject* object) {
    delete reinterpret_cast<TavriskMp2Dec*>(object)->state;
    G_OBJECT_CLASS(tavrisk_mp2_dec_parent_class)->finalize(object);
}

// A decoder for the output's channels: the pair alone is decoded as a stereo decoder does,
// without synthesising channels nobody hears.
std::unique_ptr<mp2dec::FrameDecoder> DecoderFor(std::size_t channels) {
    return std::make_unique<mp2dec::FrameDecoder>(channels != kSixChannels);
}

// A new stream: the next frame fixes the output again.
void Restart(DecoderState& state) {
    state.decoder = DecoderFor(kSixChannels);
    state.channels = 0;
    state.rate = 0;
    state.frameNumber = 0;
}

gboolean Start(GstAudioDecoder* element) {
    Restart(StateOf(element));
    return TRUE;
}

gboolean SetFormat(GstAudioDecoder*, GstCaps*) {
    return TRUE;
}

// The filterbanks start afresh after a seek: the frames before are not the ones that follow.
void Flush(GstAudioDecoder* element, gboolean) {
    DecoderState& state = StateOf(element);
    state.decoder = DecoderFor(state.channels == 0 ? kSixChannels : state.channels);
    state.frameNumber = 0;
}

bool SetOutput(GstAudioDecoder* element, DecoderState& state, std::size_t channels, int rate) {
    if (channels == state.channels && rate == state.rate) return true;
    GstAudioInfo info;
    gst_audio_info_init(&info);
    gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16, rate, static_cast<gint>(channels),
                              channels == kSixChannels    ? kSixPositions.data()
                              : channels == kPairChannels ? kPairPositions.data()
                                                          : &kMonoPosition);
    if (!gst_audio_decoder_set_output_format(element, &info)) return false;
    state.channels = channels;
    state.rate = rate;
    return true;
}

// Counts a damaged frame as the base class's decoding error: the pipeline fails only after
// many in a row.
GstFlowReturn CountDamage(GstAudioDecoder* element, const char* why) {
    GstFlowReturn result = GST_FLOW_OK;
    GST_AUDIO_DECODER_ERROR(element, 1, STREAM, DECODE, ("A damaged frame was passed over."),
                            ("%s", why), result);
    return result;
}

// A frame that is no frame: counted, and nothing of it put out.
GstFlowReturn Damaged(GstAudioDecoder* element, const char* why) {
    const GstFlowReturn counted = CountDamage(element, why);
    if (counted != GST_FLOW_OK) return counted;
    return gst_audio_decoder_finish_frame(element, nullptr, 1);
}

// Decodes one whole frame into a new output buffer (null when none could be had). A damaged
// frame comes out as silence of its length, so that the timeline keeps it; `damage` then
// says why.
GstBuffer* DecodeFrame(GstAudioDecoder* element, DecoderState& state, const uint8_t* frame,
                       const mp2dec::FrameHeader& header, std::string& damage) {
    const std::size_t values = mp2dec::kFrameSamples * state.channels;
    GstBuffer* buffer = gst_audio_decoder_allocate_output_buffer(element, values * sizeof(int16_t));
    if (buffer == nullptr) return nullptr;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return nullptr;
    }
    auto* out = reinterpret_cast<int16_t*>(map.data);
    // The pair is decoded straight into the buffer, in its order; six channels are reordered,
    // and a mono stream (decoded as a pair of equal channels) keeps one.
    const bool pair = state.channels == kPairChannels;
    mp2dec::ProblemLog log;
    const auto result = state.decoder->Decode(frame, header, ++state.frameNumber, log,
                                              pair ? out : state.decoded.data());
    // A frame whose extension alone is unusable comes out as its compatible pair.
    const bool usable = result != mp2dec::FrameDecoder::kMuted;
    const int16_t* in = state.decoded.data();
    if (usable && state.channels == kMonoChannels) {
        for (int s = 0; s < mp2dec::kFrameSamples; ++s) out[s] = in[s * kPairChannels];
    } else if (usable && state.channels == kSixChannels) {
        for (int s = 0; s < mp2dec::kFrameSamples; ++s, in += kSixChannels)
            for (std::size_t c = 0; c < kSixChannels; ++c) *out++ = in[kDecodedOfOutput[c]];
    } else if (!usable) {
        std::fill(out, out + values, 0);
    }
    if (result != mp2dec::FrameDecoder::kDecoded)
        damage = log.ErrorCount() > 0 ? log.Problems().front().Line()
                                      : "multichannel extension unusable";
    gst_buffer_unmap(buffer, &map);
    return buffer;
}

// The first frame decides: six channels when it carries the extension, else the pair, from
// then on decoded alone.
std::size_t ChannelsOfFirstFrame(DecoderState& state, const uint8_t* frame,
                                 const mp2dec::FrameHeader& header) {
    mp2dec::ProblemLog log;
    state.decoder->Decode(frame, header, 1, log, state.decoded.data());
    const std::size_t channels = !state.decoder->SawStereoOnlyFrame() ? kSixChannels
                                 : header.Channels() == 1             ? kMonoChannels
                                                                      : kPairChannels;
    state.decoder = DecoderFor(channels);
    return channels;
}

GstFlowReturn HandleFrame(GstAudioDecoder* element, GstBuffer* buffer) {
    DecoderState& state = StateOf(element);
    if (buffer == nullptr) return GST_FLOW_OK;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
    std::string why;
    const auto header = map.size >= mp2dec::FrameHeader::kBytes
                            ? mp2dec::FrameHeader::Parse(map.data, &why)
                            : std::nullopt;
    if (!header || map.size < static_cast<gsize>(header->FrameBytes())) {
        gst_buffer_unmap(buffer, &map);
        return Damaged(element, header ? "the frame is cut short" : why.c_str());
    }
    const std::size_t channels =
        state.channels != 0 ? state.channels : ChannelsOfFirstFrame(state, map.data, *header);
    if (!SetOutput(element, state, channels, header->SampleRate())) {
        gst_buffer_unmap(buffer, &map);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    std::string damage;
    GstBuffer* decoded = DecodeFrame(element, state, map.data, *header, damage);
    // Finishing the frame releases the input buffer: it is unmapped first.
    gst_buffer_unmap(buffer, &map);
    if (decoded == nullptr) return GST_FLOW_ERROR;
    if (!damage.empty()) {
        const GstFlowReturn counted = CountDamage(element, damage.c_str());
        if (counted != GST_FLOW_OK) {
            gst_buffer_unref(decoded);
            return counted;
        }
    }
    return gst_audio_decoder_finish_frame(element, decoded, 1);
}

void tavrisk_mp2_dec_class_init(TavriskMp2DecClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = Finalize;
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
        "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("audio/mpeg, mpegversion = (int) 1, layer = (int) 2, "
                        "parsed = (boolean) true"));
    static GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
        "src", GST_PAD_SRC, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(
            S16) ", "
                 "layout = (string) interleaved, rate = (int) [ 16000, 48000 ], "
                 "channels = (int) { 1, 2, 6 }"));
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(
        elementClass, kMp2DecoderLongName, "Codec/Decoder/Audio",
        "Decodes MPEG-2 multichannel Layer II to its six channels (the stereo pair of plain "
        "Layer II)",
        "Tavrisk");
    GstAudioDecoderClass* decoderClass = GST_AUDIO_DECODER_CLASS(klass);
    decoderClass->start = Start;
    decoderClass->set_format = SetFormat;
    decoderClass->handle_frame = HandleFrame;
    decoderClass->flush = Flush;
}

void tavrisk_mp2_dec_init(TavriskMp2Dec* self) {
    self->state = new DecoderState;
    Restart(*self->state);
    gst_audio_decoder_set_drainable(GST_AUDIO_DECODER(self), TRUE);
}

}  // namespace

gboolean RegisterMp2DecoderElement(GstPlugin* plugin) {
    return gst_element_register(plugin, kMp2DecoderFactoryName, kMp2DecoderRank,
                                tavrisk_mp2_dec_get_type());
}

}  // namespace tavrisk
