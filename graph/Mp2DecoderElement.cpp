// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Mp2DecoderElement.h"

#include <gst/audio/gstaudiodecoder.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "mp2dec/ChannelConfigurations.h"
#include "mp2dec/FrameDecoder.h"
#include "mp2dec/OutputLayout.h"

namespace tavrisk {
namespace {

constexpr std::size_t kSixChannels = mp2dec::kOutputChannels;
constexpr std::size_t kPairChannels = 2;
constexpr std::size_t kMonoChannels = 1;

// GStreamer's position of each speaker, in the order of mp2dec::Speaker, which is also
// GStreamer's order of the positions.
constexpr std::array<GstAudioChannelPosition, 8> kPositionOfSpeaker = {
    GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT,   GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT,
    GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_LFE1,
    GST_AUDIO_CHANNEL_POSITION_REAR_LEFT,    GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT,
    GST_AUDIO_CHANNEL_POSITION_REAR_CENTER,  GST_AUDIO_CHANNEL_POSITION_MONO};

// Streaming-thread state; the base class serialises the calls that touch it.
struct DecoderState {
    std::unique_ptr<mp2dec::FrameDecoder> decoder;
    std::vector<int16_t> decoded = std::vector<int16_t>(mp2dec::kFrameSamples * kSixChannels);
    std::size_t channels = 0;  // of the output: 0 until the first frame fixed it
    int rate = 0;
    // The stream's channels, fixed by its first frame, and the decoded channel of each output
    // channel in GStreamer's order.
    mp2dec::OutputLayout layout;
    mp2dec::OutputLayout previous;  // the channels of the frame before
    std::array<int, kSixChannels> decodedOfOutput{};
    // A stream without the extension in its first frame is decoded as its pair alone, as a
    // stereo decoder does, without synthesising channels nobody hears.
    bool pairOnly = false;
    long frameNumber = 0;
    bool secondProgrammeNoted = false;  // said that the output leaves it out
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

// A new stream: the next frame fixes the output again.
void Restart(DecoderState& state) {
    state.decoder = std::make_unique<mp2dec::FrameDecoder>(false);
    state.channels = 0;
    state.rate = 0;
    state.pairOnly = false;
    state.frameNumber = 0;
    state.secondProgrammeNoted = false;
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
    state.decoder = std::make_unique<mp2dec::FrameDecoder>(state.pairOnly);
    state.frameNumber = 0;
}

bool SetOutput(GstAudioDecoder* element, DecoderState& state, const mp2dec::OutputLayout& layout,
               int rate) {
    const auto channels = static_cast<std::size_t>(layout.count);
    if (channels == state.channels && rate == state.rate) return true;
    // The layout's channels come in decoded order; GStreamer takes them by position.
    std::array<std::size_t, kSixChannels> order{};
    for (std::size_t c = 0; c < channels; ++c) order[c] = c;
    std::stable_sort(
        order.begin(), order.begin() + static_cast<long>(channels),
        [&](std::size_t a, std::size_t b) { return layout.speaker[a] < layout.speaker[b]; });
    std::array<GstAudioChannelPosition, kSixChannels> positions{};
    for (std::size_t c = 0; c < channels; ++c) {
        positions[c] = kPositionOfSpeaker[static_cast<std::size_t>(layout.speaker[order[c]])];
        state.decodedOfOutput[c] = layout.decoded[order[c]];
    }
    GstAudioInfo info;
    gst_audio_info_init(&info);
    gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16, rate, static_cast<gint>(channels),
                              positions.data());
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

// The first frame decides: the channels of its configuration, or its pair or mono channel
// without the extension, from then on decoded alone.
void FixLayoutByFirstFrame(DecoderState& state, const uint8_t* frame,
                           const mp2dec::FrameHeader& header) {
    mp2dec::ProblemLog log;
    state.decoder->Decode(frame, header, 1, log, state.decoded.data());
    state.layout = state.previous =
        mp2dec::LayoutOfStream(header, state.decoder->LastExtension(), false);
    state.pairOnly = state.decoder->SawStereoOnlyFrame();
    state.decoder = std::make_unique<mp2dec::FrameDecoder>(state.pairOnly);
}

// A frame of another configuration than the one before is told once; the output keeps the
// first frame's channels.
void NoteConfigurationChange(GstAudioDecoder* element, DecoderState& state,
                             const mp2dec::FrameHeader& header) {
    const auto frameLayout = mp2dec::LayoutOfStream(header, state.decoder->LastExtension(), false);
    if (frameLayout == state.previous) return;
    state.previous = frameLayout;
    if (!(frameLayout == state.layout))
        GST_ELEMENT_WARNING(element, STREAM, DECODE,
                            ("The channel configuration changes within the stream."),
                            ("the output keeps the first frame's %d channel(s); %d of "
                             "frame %ld's are left out",
                             state.layout.count, state.layout.Missing(frameLayout),
                             state.frameNumber));
}

// A second stereo programme is not decoded: said once.
void NoteSecondProgramme(GstAudioDecoder* element, DecoderState& state) {
    if (state.secondProgrammeNoted ||
        !mp2dec::CarriesSecondProgramme(state.decoder->LastExtension()))
        return;
    state.secondProgrammeNoted = true;
    GST_ELEMENT_WARNING(element, STREAM, DECODE,
                        ("The stream carries a second stereo programme that is not in the "
                         "output."),
                        ("from frame %ld on", state.frameNumber));
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
    // A stereo stream's pair is decoded straight into the buffer, in its order; a mono stream
    // (decoded as a pair of equal channels) keeps one; a configuration's channels are placed
    // by their positions.
    const bool direct = state.pairOnly && state.channels == kPairChannels;
    mp2dec::ProblemLog log;
    const auto result = state.decoder->Decode(frame, header, ++state.frameNumber, log,
                                              direct ? out : state.decoded.data());
    if (!state.pairOnly && result == mp2dec::FrameDecoder::kDecoded) {
        NoteConfigurationChange(element, state, header);
        NoteSecondProgramme(element, state);
    }
    // A frame whose extension alone is unusable comes out as its compatible pair.
    const bool usable = result != mp2dec::FrameDecoder::kMuted;
    const int16_t* in = state.decoded.data();
    if (!usable) {
        std::fill(out, out + values, 0);
    } else if (state.pairOnly && state.channels == kMonoChannels) {
        for (int s = 0; s < mp2dec::kFrameSamples; ++s) out[s] = in[s * kPairChannels];
    } else if (!state.pairOnly) {
        for (int s = 0; s < mp2dec::kFrameSamples; ++s, in += kSixChannels)
            for (std::size_t c = 0; c < state.channels; ++c) *out++ = in[state.decodedOfOutput[c]];
    }
    if (result != mp2dec::FrameDecoder::kDecoded)
        damage = log.ErrorCount() > 0 ? log.Problems().front().Line()
                                      : "multichannel extension unusable";
    gst_buffer_unmap(buffer, &map);
    return buffer;
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
    if (state.channels == 0) FixLayoutByFirstFrame(state, map.data, *header);
    if (!SetOutput(element, state, state.layout, header->SampleRate())) {
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
        GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(S16) ", "
                        "layout = (string) interleaved, rate = (int) [ 16000, 48000 ], "
                        "channels = (int) [ 1, 6 ]"));
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(
        elementClass, kMp2DecoderLongName, "Codec/Decoder/Audio",
        "Decodes MPEG-2 multichannel Layer II to the channels of its configuration (the stereo "
        "pair or mono channel of plain Layer II)",
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
