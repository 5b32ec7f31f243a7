#include "graph/Ac3DecoderElement.h"

#include <gst/audio/gstaudiodecoder.h>

#include <atomic>

#include "graph/Ac3FrameDecoder.h"
#include "graph/DecodedAudioOrder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tavrisk {
namespace {

constexpr const char* kEac3Media = "audio/x-eac3";
constexpr std::size_t kBytesPerValue = sizeof(int16_t);

// Streaming-thread state; the base class serialises the calls that touch it.
struct DecoderState {
    Ac3FrameDecoder decoder;
    InterleaveOrder order;
    GstAudioInfo output;
    bool haveOutput = false;
    int lastSamples = 0;  // the length of the last decoded frame, for a damaged one's silence
    // What the open decoder reports as its compression scale, for the property.
    std::atomic<double> drcScale{Ac3FrameDecoder::kDrcScale};
};

struct TavriskAc3Dec {
    GstAudioDecoder parent;
    DecoderState* state;
};

struct TavriskAc3DecClass {
    GstAudioDecoderClass parentClass;
};

enum { kPropDrcScale = 1 };

G_DEFINE_TYPE(TavriskAc3Dec, tavrisk_ac3_dec, GST_TYPE_AUDIO_DECODER)

DecoderState& StateOf(gpointer object) {
    return *reinterpret_cast<TavriskAc3Dec*>(object)->state;
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    if (id != kPropDrcScale) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    // Not the stream lock: a streaming thread waiting for preroll holds it.
    g_value_set_double(value, StateOf(object).drcScale.load());
}

void Finalize(GObject* object) {
    delete reinterpret_cast<TavriskAc3Dec*>(object)->state;
    G_OBJECT_CLASS(tavrisk_ac3_dec_parent_class)->finalize(object);
}

gboolean Stop(GstAudioDecoder* element) {
    DecoderState& state = StateOf(element);
    state.decoder.Close();
    state.haveOutput = false;
    state.lastSamples = 0;
    return TRUE;
}

gboolean SetFormat(GstAudioDecoder* element, GstCaps* caps) {
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    const Ac3FrameDecoder::Codec codec = gst_structure_has_name(structure, kEac3Media)
                                             ? Ac3FrameDecoder::Codec::kEac3
                                             : Ac3FrameDecoder::Codec::kAc3;
    Ac3FrameDecoder& decoder = StateOf(element).decoder;
    if (decoder.IsOpen() && decoder.OpenCodec() == codec) return TRUE;
    if (!decoder.Open(codec)) {
        GST_ELEMENT_ERROR(element, LIBRARY, INIT, (nullptr),
                          ("libavcodec's decoder could not be opened"));
        return FALSE;
    }
    StateOf(element).drcScale = decoder.DrcScale();
    return TRUE;
}

void Flush(GstAudioDecoder* element, gboolean) {
    StateOf(element).decoder.Flush();
}

// The output caps follow the frame's rate, channels and layout; they are renegotiated when
// any of them changes.
bool UpdateOutputFormat(GstAudioDecoder* element, DecoderState& state, const AVFrame& frame) {
    if (!OrderOfLayout(frame.ch_layout, state.order)) return false;
    GstAudioInfo info;
    gst_audio_info_init(&info);
    gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16, frame.sample_rate,
                              frame.ch_layout.nb_channels, state.order.positions.data());
    if (state.haveOutput && gst_audio_info_is_equal(&info, &state.output)) return true;
    if (!gst_audio_decoder_set_output_format(element, &info)) return false;
    state.output = info;
    state.haveOutput = true;
    return true;
}

GstFlowReturn PushFrame(GstAudioDecoder* element, DecoderState& state, int frames) {
    const AVFrame& frame = state.decoder.Frame();
    if (!UpdateOutputFormat(element, state, frame)) return GST_FLOW_NOT_NEGOTIATED;
    const std::size_t values =
        static_cast<std::size_t>(frame.nb_samples) * state.order.planeOfChannel.size();
    GstBuffer* buffer = gst_audio_decoder_allocate_output_buffer(element, values * kBytesPerValue);
    if (buffer == nullptr) return GST_FLOW_ERROR;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    InterleaveToS16(reinterpret_cast<const float* const*>(frame.extended_data), state.order,
                    frame.nb_samples, reinterpret_cast<int16_t*>(map.data));
    gst_buffer_unmap(buffer, &map);
    state.lastSamples = frame.nb_samples;
    return gst_audio_decoder_finish_frame(element, buffer, frames);
}

// A frame the decoder refuses is counted as an error the base class tolerates, and stands
// as silence of the last frame's length so that the timeline keeps its length.
GstFlowReturn DamagedFrame(GstAudioDecoder* element, DecoderState& state) {
    GstFlowReturn result = GST_FLOW_OK;
    GST_AUDIO_DECODER_ERROR(element, 1, STREAM, DECODE, (nullptr),
                            ("a damaged frame is replaced by silence"), result);
    if (result != GST_FLOW_OK) return result;
    if (!state.haveOutput || state.lastSamples == 0) {
        return gst_audio_decoder_finish_frame(element, nullptr, 1);
    }
    const gsize bytes = static_cast<gsize>(state.lastSamples) *
                        static_cast<gsize>(GST_AUDIO_INFO_BPF(&state.output));
    GstBuffer* buffer = gst_audio_decoder_allocate_output_buffer(element, bytes);
    if (buffer == nullptr) return GST_FLOW_ERROR;
    gst_buffer_memset(buffer, 0, 0, bytes);
    return gst_audio_decoder_finish_frame(element, buffer, 1);
}

// Pushes every frame the decoder has ready; the first accounts for `frames` input frames.
GstFlowReturn PushReady(GstAudioDecoder* element, DecoderState& state, int frames) {
    while (true) {
        switch (state.decoder.Receive()) {
            case Ac3FrameDecoder::Result::kNeedMore:
                return frames > 0 ? gst_audio_decoder_finish_frame(element, nullptr, frames)
                                  : GST_FLOW_OK;
            case Ac3FrameDecoder::Result::kDamaged:
                if (frames == 0) return GST_FLOW_OK;
                return DamagedFrame(element, state);
            case Ac3FrameDecoder::Result::kFrame: {
                const GstFlowReturn pushed = PushFrame(element, state, frames);
                if (pushed != GST_FLOW_OK) return pushed;
                frames = 0;
                break;
            }
        }
    }
}

// End of the stream: what the decoder still holds, then ready for a new start.
GstFlowReturn Drain(GstAudioDecoder* element, DecoderState& state) {
    state.decoder.SendEnd();
    const GstFlowReturn result = PushReady(element, state, 0);
    state.decoder.Flush();
    return result;
}

GstFlowReturn HandleFrame(GstAudioDecoder* element, GstBuffer* buffer) {
    DecoderState& state = StateOf(element);
    if (buffer == nullptr) return Drain(element, state);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return DamagedFrame(element, state);
    const bool sent = state.decoder.Send({map.data, map.size});
    gst_buffer_unmap(buffer, &map);
    if (!sent) return DamagedFrame(element, state);
    return PushReady(element, state, 1);
}

void tavrisk_ac3_dec_class_init(TavriskAc3DecClass* klass) {
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    g_object_class_install_property(
        objectClass, kPropDrcScale,
        g_param_spec_double(kAc3DecoderDrcProperty, "DRC scale",
                            "Dynamic range compression the decoder applies (none)", 0.0, 6.0,
                            Ac3FrameDecoder::kDrcScale,
                            static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));

    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
        "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("audio/x-ac3, framed = (boolean) true, alignment = (string) frame; "
                        "audio/x-eac3, framed = (boolean) true, alignment = (string) frame"));
    static GstStaticPadTemplate srcTemplate =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                                GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(
                                    S16) ", "
                                         "layout = (string) interleaved, rate = (int) [ 1, MAX ], "
                                         "channels = (int) [ 1, 64 ]"));
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(
        elementClass, kAc3DecoderLongName, "Codec/Decoder/Audio",
        "Decodes AC-3 and E-AC-3 with libavcodec, dynamic range compression off", "Tavrisk");

    GstAudioDecoderClass* decoderClass = GST_AUDIO_DECODER_CLASS(klass);
    decoderClass->stop = Stop;
    decoderClass->set_format = SetFormat;
    decoderClass->handle_frame = HandleFrame;
    decoderClass->flush = Flush;
}

void tavrisk_ac3_dec_init(TavriskAc3Dec* self) {
    self->state = new DecoderState;
    GstAudioDecoder* decoder = GST_AUDIO_DECODER(self);
    gst_audio_decoder_set_needs_format(decoder, TRUE);
    gst_audio_decoder_set_drainable(decoder, TRUE);
}

}  // namespace

gboolean RegisterAc3DecoderElement(GstPlugin* plugin) {
    return gst_element_register(plugin, kAc3DecoderFactoryName, kAc3DecoderRank,
                                tavrisk_ac3_dec_get_type());
}

}  // namespace tavrisk
