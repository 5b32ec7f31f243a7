// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Ac3DecoderElement.h"

#include <gst/audio/gstaudiodecoder.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "graph/DecodedAudioOrder.h"
#include "graph/LibavFrameDecoder.h"
#include "graph/OutputBatch.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tavrisk {
namespace {

constexpr const char* kEac3Media = "audio/x-eac3";
constexpr const char* kDtsMedia = "audio/x-dts";
constexpr const char* kFlacMedia = "audio/x-flac";
constexpr std::string_view kFlacMarker = "fLaC";

// What a frame's output format follows from, where it compares cheaply: the sample format,
// the rate and a layout of named channels (a mask).
struct FrameShape {
    int format = AV_SAMPLE_FMT_NONE;
    int rate = 0;
    int channels = 0;
    uint64_t mask = 0;
    bool operator==(const FrameShape&) const = default;
};

std::optional<FrameShape> ShapeOf(const AVFrame& frame) {
    if (frame.ch_layout.order != AV_CHANNEL_ORDER_NATIVE) return std::nullopt;
    return FrameShape{frame.format, frame.sample_rate, frame.ch_layout.nb_channels,
                      frame.ch_layout.u.mask};
}

// The last bytes a framing parser upstream took in, with their place in its input: what it
// held back at the end of the input (a frame cut short, which it drops without a word).
// Noted on the parser's streaming thread, read on the decoder's.
class ParserInputTail {
  public:
    static constexpr std::size_t kKept = 8192;  // more than an AC-3 or E-AC-3 frame

    void Note(const GstBuffer* buffer, guint64 offset) {
        GstMapInfo map;
        if (offset == GST_BUFFER_OFFSET_NONE ||
            !gst_buffer_map(const_cast<GstBuffer*>(buffer), &map, GST_MAP_READ))
            return;
        std::lock_guard guard(lock);
        // Bytes that do not follow on start the tail afresh (the parser reads ahead and back).
        if (offset != end) bytes.clear();
        const std::size_t taken = std::min(map.size, kKept);
        bytes.insert(bytes.end(), map.data + (map.size - taken), map.data + map.size);
        end = offset + map.size;
        if (bytes.size() > kKept)
            bytes.erase(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(kKept));
        gst_buffer_unmap(const_cast<GstBuffer*>(buffer), &map);
    }
    // The bytes from `offset` to the end of what the parser took, if the tail holds them all.
    std::optional<std::vector<uint8_t>> From(guint64 offset) const {
        std::lock_guard guard(lock);
        if (offset > end || end - offset > bytes.size()) return std::nullopt;
        return std::vector<uint8_t>(bytes.end() - static_cast<std::ptrdiff_t>(end - offset),
                                    bytes.end());
    }

  private:
    mutable std::mutex lock;
    std::vector<uint8_t> bytes;
    guint64 end = GST_BUFFER_OFFSET_NONE;
};

// Watches the input of the framing parser that feeds `sinkPad`, if one does.
class ParserWatch {
  public:
    ParserWatch() = default;
    ParserWatch(const ParserWatch&) = delete;
    ParserWatch& operator=(const ParserWatch&) = delete;
    ~ParserWatch() { Stop(); }

    // Looks upstream of `sinkPad`, through elements that pass buffers on one by one (a caps
    // filter), for the parser.
    void Start(GstPad* sinkPad) {
        if (pad != nullptr) return;
        const GType baseParse = g_type_from_name("GstBaseParse");
        const GType passing = g_type_from_name("GstBaseTransform");
        GstPad* below = GST_PAD(gst_object_ref(sinkPad));
        for (int step = 0; step < kSteps && below != nullptr && pad == nullptr; ++step) {
            GstPad* peer = gst_pad_get_peer(below);
            gst_object_unref(below);
            below = nullptr;
            GstElement* element = peer != nullptr ? gst_pad_get_parent_element(peer) : nullptr;
            if (peer != nullptr) gst_object_unref(peer);
            if (element == nullptr) break;
            const GType type = G_OBJECT_TYPE(element);
            if (baseParse != 0 && g_type_is_a(type, baseParse))
                pad = gst_element_get_static_pad(element, "sink");
            else if (passing != 0 && g_type_is_a(type, passing))
                below = gst_element_get_static_pad(element, "sink");
            gst_object_unref(element);
        }
        if (below != nullptr) gst_object_unref(below);
        if (pad == nullptr) return;
        tail = std::make_shared<ParserInputTail>();
        probe = gst_pad_add_probe(
            pad,
            static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_PUSH |
                                         GST_PAD_PROBE_TYPE_PULL),
            OnBuffer, new std::shared_ptr<ParserInputTail>(tail), DropTail);
    }
    void Stop() {
        if (pad != nullptr) {
            if (probe != 0) gst_pad_remove_probe(pad, probe);
            gst_object_unref(pad);
        }
        pad = nullptr;
        probe = 0;
        tail.reset();
    }
    const ParserInputTail* Tail() const { return tail.get(); }

  private:
    static constexpr int kSteps = 4;

    static GstPadProbeReturn OnBuffer(GstPad*, GstPadProbeInfo* info, gpointer data) {
        const GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (buffer == nullptr) return GST_PAD_PROBE_OK;
        // Pulled data lies where it was asked for; pushed data says where it lies, if it knows.
        const guint64 offset = (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_PULL) != 0
                                   ? GST_PAD_PROBE_INFO_OFFSET(info)
                                   : GST_BUFFER_OFFSET(buffer);
        (*static_cast<std::shared_ptr<ParserInputTail>*>(data))->Note(buffer, offset);
        return GST_PAD_PROBE_OK;
    }
    static void DropTail(gpointer data) {
        delete static_cast<std::shared_ptr<ParserInputTail>*>(data);
    }

    GstPad* pad = nullptr;
    gulong probe = 0;
    std::shared_ptr<ParserInputTail> tail;
};

// Streaming-thread state; the base class serialises the calls that touch it.
struct DecoderState {
    LibavFrameDecoder decoder;
    InterleaveOrder order;
    GstAudioInfo output;
    bool haveOutput = false;
    // The shape of the frames `output` and `order` were made for, when it has one.
    std::optional<FrameShape> outputShape;
    int lastSamples = 0;  // the length of the last decoded frame, for a damaged one's silence
    // Where the frame being decoded lies in the stream, for the report of a damaged one: its
    // stream time, or none (then the samples put out so far tell).
    GstClockTime frameTime = GST_CLOCK_TIME_NONE;
    GstClockTime framePts = GST_CLOCK_TIME_NONE;  // its stamp
    // Decoded frames that follow on from each other go downstream together.
    OutputBatch batch;
    uint64_t samplesOut = 0;
    // The decoder starts afresh after a damaged frame, and its first frame can ring above
    // the programme while its filters fill: that frame is faded in from the silence.
    bool fadeIn = false;
    // What the open decoder reports as its compression scale, for the property.
    std::atomic<double> drcScale{LibavFrameDecoder::kDrcScale};
    // The parser's input, for a frame cut short at the end of an AC-3 or E-AC-3 stream, and
    // where the last frame decoded ended in it.
    ParserWatch parserWatch;
    guint64 inputEnd = GST_BUFFER_OFFSET_NONE;
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
    state.batch.Reset();
    state.decoder.Close();
    state.haveOutput = false;
    state.outputShape.reset();
    state.lastSamples = 0;
    state.samplesOut = 0;
    state.fadeIn = false;
    state.parserWatch.Stop();
    state.inputEnd = GST_BUFFER_OFFSET_NONE;
    return TRUE;
}

// The stream's headers from the caps, from FLAC's marker on (an Ogg mapping puts a few bytes of
// its own before it): libavcodec's FLAC set-up.
std::vector<uint8_t> FlacSetup(const GstStructure* structure) {
    std::vector<uint8_t> bytes;
    const GValue* headers = gst_structure_get_value(structure, "streamheader");
    if (headers == nullptr || !GST_VALUE_HOLDS_ARRAY(headers)) return bytes;
    for (guint i = 0; i < gst_value_array_get_size(headers); ++i) {
        const GValue* header = gst_value_array_get_value(headers, i);
        GstBuffer* buffer =
            G_VALUE_HOLDS(header, GST_TYPE_BUFFER) ? gst_value_get_buffer(header) : nullptr;
        GstMapInfo map;
        if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_READ)) continue;
        bytes.insert(bytes.end(), map.data, map.data + map.size);
        gst_buffer_unmap(buffer, &map);
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t marker = text.find(kFlacMarker);
    if (marker == std::string_view::npos) return {};
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(marker));
    return bytes;
}

gboolean SetFormat(GstAudioDecoder* element, GstCaps* caps) {
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    LibavFrameDecoder::Codec codec = LibavFrameDecoder::Codec::kAc3;
    if (gst_structure_has_name(structure, kEac3Media)) codec = LibavFrameDecoder::Codec::kEac3;
    if (gst_structure_has_name(structure, kDtsMedia)) codec = LibavFrameDecoder::Codec::kDts;
    if (gst_structure_has_name(structure, kFlacMedia)) codec = LibavFrameDecoder::Codec::kFlac;
    LibavFrameDecoder& decoder = StateOf(element).decoder;
    // FLAC's headers may differ from stream to stream: it always starts afresh.
    if (decoder.IsOpen() && decoder.OpenCodec() == codec &&
        codec != LibavFrameDecoder::Codec::kFlac) {
        return TRUE;
    }
    const std::vector<uint8_t> setup =
        codec == LibavFrameDecoder::Codec::kFlac ? FlacSetup(structure) : std::vector<uint8_t>{};
    if (const GraphOutcome opened = decoder.Open(codec, setup); !opened) {
        GST_ELEMENT_ERROR(element, LIBRARY, INIT, (nullptr), ("%s", opened.Reason().c_str()));
        return FALSE;
    }
    StateOf(element).drcScale = decoder.DrcScale();
    if (codec == LibavFrameDecoder::Codec::kAc3 || codec == LibavFrameDecoder::Codec::kEac3)
        StateOf(element).parserWatch.Start(GST_AUDIO_DECODER_SINK_PAD(element));
    return TRUE;
}

void Flush(GstAudioDecoder* element, gboolean) {
    DecoderState& state = StateOf(element);
    state.batch.Clear();
    state.decoder.Flush();
}

// The frames gathered so far go downstream, standing for the input frames they came from.
// Every other finish of a frame waits for it: the base class finishes its frames in order.
GstFlowReturn PushBatch(GstAudioDecoder* element, DecoderState& state) {
    int frames = 0;
    GstBuffer* buffer = state.batch.Take(frames);
    if (buffer == nullptr && frames == 0) return GST_FLOW_OK;
    return gst_audio_decoder_finish_frame(element, buffer, frames);
}

// The bytes the parser held back at the end of the stream, when they begin a frame (its sync
// word): the stream ended inside that frame.
std::optional<std::vector<uint8_t>> CutFrameBytes(const DecoderState& state) {
    constexpr uint8_t kSync[] = {0x0b, 0x77};
    const ParserInputTail* tail = state.parserWatch.Tail();
    if (tail == nullptr || state.inputEnd == GST_BUFFER_OFFSET_NONE) return std::nullopt;
    std::optional<std::vector<uint8_t>> left = tail->From(state.inputEnd);
    if (!left || left->size() < sizeof(kSync) || (*left)[0] != kSync[0] || (*left)[1] != kSync[1])
        return std::nullopt;
    return left;
}

// A frame cut short at the end of the stream goes through the decoder as the damaged frame it
// is, in its place after the last one, so that it stands as silence and is reported.
void DecodeCutFrame(GstAudioDecoder* element, DecoderState& state) {
    const std::optional<std::vector<uint8_t>> bytes = CutFrameBytes(state);
    if (!bytes) return;
    GstBuffer* cut = gst_buffer_new_memdup(bytes->data(), bytes->size());
    const int rate = state.haveOutput ? GST_AUDIO_INFO_RATE(&state.output) : 0;
    if (GST_CLOCK_TIME_IS_VALID(state.framePts) && rate > 0 && state.lastSamples > 0) {
        GST_BUFFER_PTS(cut) =
            state.framePts + gst_util_uint64_scale(static_cast<guint64>(state.lastSamples),
                                                   GST_SECOND, static_cast<guint64>(rate));
    }
    GST_BUFFER_OFFSET(cut) = state.inputEnd;
    gst_pad_chain(GST_AUDIO_DECODER_SINK_PAD(element), cut);
}

// The gathered frames go out ahead of every event that travels with the data (a new format or
// segment, a gap, the end), as each frame would have on its own; a flush drops them.
gboolean SinkEvent(GstAudioDecoder* element, GstEvent* event) {
    // The flag test of GST_EVENT_IS_SERIALIZED, without its mix of two enumeration types.
    const auto type = static_cast<unsigned>(GST_EVENT_TYPE(event));
    const bool serialized = (type & static_cast<unsigned>(GST_EVENT_TYPE_SERIALIZED)) != 0;
    if (serialized && GST_EVENT_TYPE(event) != GST_EVENT_FLUSH_STOP)
        PushBatch(element, StateOf(element));
    DecoderState& state = StateOf(element);
    if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) state.inputEnd = GST_BUFFER_OFFSET_NONE;
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) DecodeCutFrame(element, state);
    return GST_AUDIO_DECODER_CLASS(tavrisk_ac3_dec_parent_class)->sink_event(element, event);
}

// The output caps follow the frame's rate, channels and layout; they are renegotiated when
// any of them changes, after the frames of the last format have gone. A frame of the shape
// of the last needs no second look.
GstFlowReturn UpdateOutputFormat(GstAudioDecoder* element, DecoderState& state,
                                 const AVFrame& frame) {
    const std::optional<FrameShape> shape = ShapeOf(frame);
    if (state.haveOutput && shape && shape == state.outputShape) return GST_FLOW_OK;
    state.outputShape.reset();
    if (!OrderOfLayout(frame.ch_layout, state.order)) return GST_FLOW_NOT_NEGOTIATED;
    GstAudioInfo info;
    gst_audio_info_init(&info);
    gst_audio_info_set_format(&info, OutputFormatOf(frame.format), frame.sample_rate,
                              frame.ch_layout.nb_channels, state.order.positions.data());
    if (!state.haveOutput || !gst_audio_info_is_equal(&info, &state.output)) {
        if (const GstFlowReturn pushed = PushBatch(element, state); pushed != GST_FLOW_OK)
            return pushed;
        if (!gst_audio_decoder_set_output_format(element, &info)) return GST_FLOW_NOT_NEGOTIATED;
        state.output = info;
        state.haveOutput = true;
    }
    state.outputShape = shape;
    return GST_FLOW_OK;
}

// A linear ramp from silence to full level over the frame.
template <typename Value>
void FadeIn(Value* values, int samples, std::size_t channels) {
    for (int i = 0; i < samples; ++i) {
        const double gain = static_cast<double>(i) / samples;
        for (std::size_t c = 0; c < channels; ++c, ++values) {
            *values = static_cast<Value>(*values * gain);
        }
    }
}

// The frame's planes into the interleaved values of the output format; false for a format
// not taken.
bool InterleaveFrame(const AVFrame& frame, DecoderState& state, uint8_t* out) {
    const std::size_t channels = state.order.planeOfChannel.size();
    if (GST_AUDIO_INFO_FORMAT(&state.output) == GST_AUDIO_FORMAT_F32) {
        auto* values = reinterpret_cast<float*>(out);
        if (!InterleaveFrameToF32(frame.format, frame.extended_data, state.order, frame.nb_samples,
                                  values))
            return false;
        if (state.fadeIn) FadeIn(values, frame.nb_samples, channels);
        return true;
    }
    auto* values = reinterpret_cast<int16_t*>(out);
    if (!InterleaveFrameToS16(frame.format, frame.extended_data, state.order, frame.nb_samples,
                              values))
        return false;
    if (state.fadeIn) FadeIn(values, frame.nb_samples, channels);
    return true;
}

// The decoded frame into the batch, standing for `frames` input frames (the first frame
// decoded from an input frame stands for it, any more for none).
GstFlowReturn PushFrame(GstAudioDecoder* element, DecoderState& state, int frames) {
    const AVFrame& frame = state.decoder.Frame();
    if (const GstFlowReturn updated = UpdateOutputFormat(element, state, frame);
        updated != GST_FLOW_OK)
        return updated;
    const auto bytesPerSample = static_cast<gsize>(GST_AUDIO_INFO_BPF(&state.output));
    const int rate = GST_AUDIO_INFO_RATE(&state.output);
    // Output is stamped by the input frame it stands for; one that stands for none follows on.
    const GstClockTime pts = frames > 0 ? state.framePts : GST_CLOCK_TIME_NONE;
    if (!state.batch.Takes(pts, frame.nb_samples, bytesPerSample, rate)) {
        if (const GstFlowReturn pushed = PushBatch(element, state); pushed != GST_FLOW_OK)
            return pushed;
    }
    uint8_t* out = state.batch.Room(frame.nb_samples, bytesPerSample, rate);
    if (out == nullptr) return GST_FLOW_ERROR;
    if (!InterleaveFrame(frame, state, out)) return GST_FLOW_NOT_NEGOTIATED;
    state.batch.Added(pts, frame.nb_samples, frames);
    state.fadeIn = false;
    state.lastSamples = frame.nb_samples;
    state.samplesOut += static_cast<uint64_t>(frame.nb_samples);
    return state.batch.Full() ? PushBatch(element, state) : GST_FLOW_OK;
}

// Tells the application where a damaged frame was replaced: a warning whose details name
// the frame's stream time and the count of frames (one).
void PostDamage(GstAudioDecoder* element, const DecoderState& state) {
    GstClockTime at = state.frameTime;
    if (!GST_CLOCK_TIME_IS_VALID(at)) {
        const int rate = state.haveOutput ? GST_AUDIO_INFO_RATE(&state.output) : 0;
        at = rate > 0 ? gst_util_uint64_scale(state.samplesOut, GST_SECOND, rate) : 0;
    }
    // The details are a structure named kDamageDetails that also carries a field of that
    // name, so that a reader may look for either.
    GstStructure* details = gst_structure_new(
        kDamageDetails, kDamageDetails, G_TYPE_BOOLEAN, TRUE, kDamageTimestampField, G_TYPE_UINT64,
        static_cast<guint64>(at), kDamageFramesField, G_TYPE_UINT, 1u, nullptr);
    gst_element_message_full_with_details(
        GST_ELEMENT(element), GST_MESSAGE_WARNING, GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE,
        g_strdup("A damaged frame was replaced by silence."),
        g_strdup("libavcodec refused the frame or reported errors while decoding it"), __FILE__,
        GST_FUNCTION, __LINE__, details);
}

// A damaged frame stands as silence of its length (or the last frame's, when the decoder
// gave nothing of it), so that the timeline keeps its length, and it is reported.
GstFlowReturn DamagedFrame(GstAudioDecoder* element, DecoderState& state, int samples) {
    PostDamage(element, state);
    if (const GstFlowReturn pushed = PushBatch(element, state); pushed != GST_FLOW_OK)
        return pushed;
    state.fadeIn = true;
    if (samples <= 0) samples = state.lastSamples;
    if (!state.haveOutput || samples <= 0) {
        return gst_audio_decoder_finish_frame(element, nullptr, 1);
    }
    const gsize bytes =
        static_cast<gsize>(samples) * static_cast<gsize>(GST_AUDIO_INFO_BPF(&state.output));
    GstBuffer* buffer = gst_audio_decoder_allocate_output_buffer(element, bytes);
    if (buffer == nullptr) return GST_FLOW_ERROR;
    gst_buffer_memset(buffer, 0, 0, bytes);
    state.samplesOut += static_cast<uint64_t>(samples);
    return gst_audio_decoder_finish_frame(element, buffer, 1);
}

// Pushes every frame the decoder has ready; the first accounts for `frames` input frames.
GstFlowReturn PushReady(GstAudioDecoder* element, DecoderState& state, int frames) {
    while (true) {
        switch (state.decoder.Receive()) {
            case LibavFrameDecoder::Result::kNeedMore:
                if (frames == 0) return GST_FLOW_OK;
                if (const GstFlowReturn pushed = PushBatch(element, state); pushed != GST_FLOW_OK)
                    return pushed;
                return gst_audio_decoder_finish_frame(element, nullptr, frames);
            case LibavFrameDecoder::Result::kDamaged:
                if (frames == 0) return GST_FLOW_OK;
                return DamagedFrame(element, state, state.decoder.DamagedSamples());
            case LibavFrameDecoder::Result::kFrame: {
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
    GstFlowReturn result = PushReady(element, state, 0);
    if (result == GST_FLOW_OK) result = PushBatch(element, state);
    state.inputEnd = GST_BUFFER_OFFSET_NONE;
    state.batch.Clear();
    state.decoder.Flush();
    return result;
}

GstFlowReturn HandleFrame(GstAudioDecoder* element, GstBuffer* buffer) {
    DecoderState& state = StateOf(element);
    if (buffer == nullptr) return Drain(element, state);
    // Headers sent in the stream (FLAC's) came with the caps too.
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_HEADER)) {
        if (const GstFlowReturn pushed = PushBatch(element, state); pushed != GST_FLOW_OK)
            return pushed;
        return gst_audio_decoder_finish_frame(element, nullptr, 1);
    }
    state.framePts = GST_BUFFER_PTS(buffer);
    state.frameTime = gst_segment_to_stream_time(&element->input_segment, GST_FORMAT_TIME,
                                                 GST_BUFFER_PTS(buffer));
    state.inputEnd = GST_BUFFER_OFFSET_IS_VALID(buffer)
                         ? GST_BUFFER_OFFSET(buffer) + gst_buffer_get_size(buffer)
                         : GST_BUFFER_OFFSET_NONE;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return DamagedFrame(element, state, 0);
    const bool sent = state.decoder.Send({map.data, map.size});
    gst_buffer_unmap(buffer, &map);
    if (!sent) return DamagedFrame(element, state, 0);
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
                            LibavFrameDecoder::kDrcScale,
                            static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));

    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
        "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("audio/x-ac3, framed = (boolean) true, alignment = (string) frame; "
                        "audio/x-eac3, framed = (boolean) true, alignment = (string) frame; "
                        "audio/x-dts, framed = (boolean) true; "
                        "audio/x-flac, framed = (boolean) true"));
    static GstStaticPadTemplate srcTemplate =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                                GST_STATIC_CAPS("audio/x-raw, format = (string) { " GST_AUDIO_NE(
                                    S16) ", " GST_AUDIO_NE(F32) " }, "
                                                                "layout = (string) interleaved, "
                                                                "rate = (int) [ 1, MAX ], "
                                                                "channels = (int) [ 1, 64 ]"));
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(
        elementClass, kAc3DecoderLongName, "Codec/Decoder/Audio",
        "Decodes AC-3, E-AC-3, DTS and FLAC with libavcodec, dynamic range compression off, "
        "damaged frames replaced by silence",
        "Tavrisk");

    GstAudioDecoderClass* decoderClass = GST_AUDIO_DECODER_CLASS(klass);
    decoderClass->stop = Stop;
    decoderClass->set_format = SetFormat;
    decoderClass->handle_frame = HandleFrame;
    decoderClass->flush = Flush;
    decoderClass->sink_event = SinkEvent;
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
