// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/WrapperSink.h"

#include <gst/audio/audio.h>
#include <gst/base/gstbasesink.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "graph/AudioLayout.h"

namespace tavrisk {
namespace {

constexpr std::size_t kMaxChannels = 64;
constexpr float kLowestValue = -32768.0f;
constexpr float kHighestValue = 32767.0f;

// What one element keeps besides its GObject parts. Streaming-thread state (format, order,
// scratch) is only touched under `receiveLock`, which SetWrapperReceiver takes too.
struct WrapperState {
    std::mutex receiveLock;
    SampleReceiver* receiver = nullptr;
    SampleReceiver* toldFormat = nullptr;  // the receiver that has heard `format`
    StreamFormat format;
    std::optional<FilmChannelMap> map;
    // The receiver takes the six channels in the stream's order (StreamFormat::slotInFrame).
    bool inStreamOrder = false;
    std::vector<int16_t> scratch;
    std::vector<float> floatScratch;

    std::mutex locationLock;
    std::string location;
};

struct TavriskWrapper {
    GstBaseSink parent;
    WrapperState* state;
};

struct TavriskWrapperClass {
    GstBaseSinkClass parentClass;
};

enum { kPropLocation = 1 };

G_DEFINE_TYPE(TavriskWrapper, tavrisk_wrapper, GST_TYPE_BASE_SINK)

WrapperState& StateOf(gpointer object) {
    return *reinterpret_cast<TavriskWrapper*>(object)->state;
}

bool StoreLocation(WrapperState& state, const char* location) {
    const std::string text = location ? location : "";
    if (text.size() > kWrapperMaxLocation) return false;
    std::lock_guard lock(state.locationLock);
    state.location = text;
    return true;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    if (id != kPropLocation) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    if (!StoreLocation(StateOf(object), g_value_get_string(value))) {
        GST_WARNING_OBJECT(object, "location longer than %zu characters refused",
                           kWrapperMaxLocation);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    if (id != kPropLocation) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    WrapperState& state = StateOf(object);
    std::lock_guard lock(state.locationLock);
    g_value_set_string(value, state.location.empty() ? nullptr : state.location.c_str());
}

void Finalize(GObject* object) {
    delete reinterpret_cast<TavriskWrapper*>(object)->state;
    G_OBJECT_CLASS(tavrisk_wrapper_parent_class)->finalize(object);
}

StreamFormat FormatOf(const GstAudioInfo& info) {
    StreamFormat format;
    format.rate = GST_AUDIO_INFO_RATE(&info);
    format.channels = GST_AUDIO_INFO_CHANNELS(&info);
    const bool interleaved = GST_AUDIO_INFO_LAYOUT(&info) == GST_AUDIO_LAYOUT_INTERLEAVED;
    format.s16 = GST_AUDIO_INFO_FORMAT(&info) == GST_AUDIO_FORMAT_S16LE && interleaved;
    format.f32 = GST_AUDIO_INFO_FORMAT(&info) == GST_AUDIO_FORMAT_F32LE && interleaved;
    format.layoutName = LayoutName(info);
    return format;
}

// Any media type is accepted; what is not audio reaches the receiver as a format of zero
// channels, so that it refuses the bytes.
gboolean SetCaps(GstBaseSink* sink, GstCaps* caps) {
    GstAudioInfo info;
    StreamFormat format;
    std::optional<FilmChannelMap> map;
    if (gst_audio_info_from_caps(&info, caps)) {
        format = FormatOf(info);
        if (format.s16 || format.f32) map = MapIntoFilmChannels(info);
        format.placed = map.has_value();
        if (map) format.mapping = DescribeMapping(info, *map);
    } else {
        format.layoutName = "0 channels";
    }
    WrapperState& state = StateOf(sink);
    std::lock_guard lock(state.receiveLock);
    state.format = format;
    state.map = map;
    state.inStreamOrder = false;
    state.toldFormat = nullptr;
    return TRUE;
}

// A placed channel that sums two of the stream's: 16-bit values are clipped to their range,
// floats are left for the channel processing to clip.
int16_t Summed(int16_t a, int16_t b, float gain) {
    return static_cast<int16_t>(std::clamp((a + b) * gain, kLowestValue, kHighestValue));
}
float Summed(float a, float b, float gain) {
    return (a + b) * gain;
}

// The values in L, C, R, LS, RS, LFE order (`count` becomes their number), or as they came
// when the channels are not placed or the receiver places them itself. A trailing partial
// frame is dropped when the channels are placed, else passed on unchanged.
template <typename Value>
const Value* ValuesToDeliver(WrapperState& state, std::vector<Value>& scratch, const uint8_t* data,
                             std::size_t& count) {
    const bool aligned = reinterpret_cast<std::uintptr_t>(data) % alignof(Value) == 0;
    if (!state.map && aligned) return reinterpret_cast<const Value*>(data);
    if (!state.map) {
        if (scratch.size() < count) scratch.resize(count);
        std::memcpy(scratch.data(), data, count * sizeof(Value));
        return scratch.data();
    }
    const FilmChannelMap& map = *state.map;
    const auto channels = static_cast<std::size_t>(state.format.channels);
    const std::size_t frames = count / channels;
    count = frames * kFilmChannels;
    if (state.inStreamOrder && aligned) return reinterpret_cast<const Value*>(data);
    if (scratch.size() < count) scratch.resize(count);
    Value* out = scratch.data();
    if (state.inStreamOrder) {
        std::memcpy(out, data, count * sizeof(Value));
        return out;
    }
    const bool reorders = map.Reorders(state.format.channels);
    if (reorders && aligned) {
        // The usual case (5.1 in the decoder's order): each slot read straight from its place.
        const auto* in = reinterpret_cast<const Value*>(data);
        const std::array<int, kFilmChannels> from = map.source;
        for (std::size_t f = 0; f < frames; ++f, in += channels, out += kFilmChannels) {
#pragma GCC unroll 6
            for (int slot = 0; slot < kFilmChannels; ++slot) out[slot] = in[from[slot]];
        }
        return scratch.data();
    }
    std::array<Value, kMaxChannels> frame{};
    for (std::size_t f = 0; f < frames; ++f, data += channels * sizeof(Value)) {
        std::memcpy(frame.data(), data, channels * sizeof(Value));
        for (int slot = 0; slot < kFilmChannels; ++slot, ++out) {
            const int from = map.source[slot];
            if (reorders) {
                *out = frame[from];
            } else if (from == FilmChannelMap::kSilentSlot) {
                *out = 0;
            } else {
                const int added = map.added[slot];
                *out = Summed(frame[from], added == FilmChannelMap::kSilentSlot ? 0 : frame[added],
                              map.gain[slot]);
            }
        }
    }
    return scratch.data();
}

// Hands the buffer's values to the receiver, placed as the format says.
void Deliver(WrapperState& state, const GstMapInfo& map, const SampleTiming& timing) {
    if (state.format.f32) {
        std::size_t count = map.size / sizeof(float);
        const float* values = ValuesToDeliver(state, state.floatScratch, map.data, count);
        if (count > 0) state.receiver->DeliverFloatSamples(values, count, timing);
        return;
    }
    std::size_t count = map.size / sizeof(int16_t);
    const int16_t* values = ValuesToDeliver(state, state.scratch, map.data, count);
    if (count > 0) state.receiver->DeliverSamples(values, count, timing);
}

// A reference to the part of the buffer that is to be heard: without the samples its
// clipping meta marks (a codec's priming and padding) and without what lies outside the
// segment. Null when nothing is left. Buffers of a format we do not read are kept whole.
GstBuffer* AudiblePart(const WrapperState& state, const GstSegment& segment, GstBuffer* buffer) {
    buffer = gst_buffer_ref(buffer);
    const bool read = state.format.s16 || state.format.f32;
    if (!read || state.format.rate <= 0 || state.format.channels <= 0) return buffer;
    const auto rate = static_cast<guint64>(state.format.rate);
    const std::size_t valueBytes = state.format.f32 ? sizeof(float) : sizeof(int16_t);
    const auto frameBytes =
        static_cast<gint>(static_cast<std::size_t>(state.format.channels) * valueBytes);
    const GstAudioClippingMeta* clipping = gst_buffer_get_audio_clipping_meta(buffer);
    if (clipping && clipping->format == GST_FORMAT_DEFAULT &&
        (clipping->start > 0 || clipping->end > 0)) {
        const guint64 frames = gst_buffer_get_size(buffer) / static_cast<gsize>(frameBytes);
        const guint64 start = std::min(clipping->start, frames);
        const guint64 kept = frames - start - std::min(clipping->end, frames - start);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        if (kept == 0) {
            gst_buffer_unref(buffer);
            return nullptr;
        }
        buffer = gst_audio_buffer_truncate(buffer, frameBytes, start, kept);
        if (start > 0) {
            buffer = gst_buffer_make_writable(buffer);
            GST_BUFFER_PTS(buffer) = GST_CLOCK_TIME_IS_VALID(pts)
                                         ? pts + gst_util_uint64_scale(start, GST_SECOND, rate)
                                         : GST_CLOCK_TIME_NONE;
            GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(kept, GST_SECOND, rate);
        }
    }
    if (segment.format != GST_FORMAT_TIME) return buffer;
    return gst_audio_buffer_clip(buffer, &segment, static_cast<gint>(rate), frameBytes);
}

SampleTiming TimingOf(const GstSegment& segment, GstBuffer* buffer) {
    SampleTiming timing;
    if (segment.format != GST_FORMAT_TIME) return timing;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const guint64 start = GST_CLOCK_TIME_IS_VALID(pts)
                              ? gst_segment_to_running_time(&segment, GST_FORMAT_TIME, pts)
                              : GST_CLOCK_TIME_NONE;
    if (GST_CLOCK_TIME_IS_VALID(start)) timing.startNs = start;
    const guint64 end =
        GST_CLOCK_TIME_IS_VALID(segment.stop)
            ? gst_segment_to_running_time(&segment, GST_FORMAT_TIME, segment.stop)
            : GST_CLOCK_TIME_NONE;
    if (GST_CLOCK_TIME_IS_VALID(end)) timing.endNs = end;
    if (segment.start > segment.time) timing.startOffsetNs = segment.start - segment.time;
    return timing;
}

// Tells the receiver the format, and whether it takes the six channels as they come.
void TellFormat(WrapperState& state) {
    StreamFormat told = state.format;
    state.inStreamOrder =
        state.map && state.map->Reorders(told.channels) && state.receiver->PlacesChannelsItself();
    if (state.inStreamOrder) told.slotInFrame = state.map->source;
    state.receiver->FormatChanged(told);
    state.toldFormat = state.receiver;
}

GstFlowReturn Render(GstBaseSink* sink, GstBuffer* buffer) {
    WrapperState& state = StateOf(sink);
    std::lock_guard lock(state.receiveLock);
    if (!state.receiver) return GST_FLOW_OK;
    GstSegment segment;
    GST_OBJECT_LOCK(sink);
    gst_segment_copy_into(&sink->segment, &segment);
    GST_OBJECT_UNLOCK(sink);
    GstBuffer* audible = AudiblePart(state, segment, buffer);
    if (!audible) return GST_FLOW_OK;
    GstMapInfo map;
    if (!gst_buffer_map(audible, &map, GST_MAP_READ)) {
        gst_buffer_unref(audible);
        return GST_FLOW_ERROR;
    }
    if (state.toldFormat != state.receiver) TellFormat(state);
    Deliver(state, map, TimingOf(segment, audible));
    gst_buffer_unmap(audible, &map);
    gst_buffer_unref(audible);
    return GST_FLOW_OK;
}

void tavrisk_wrapper_class_init(TavriskWrapperClass* klass) {
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    g_object_class_install_property(
        objectClass, kPropLocation,
        g_param_spec_string("location", "Location",
                            "Name of the output, stored only (at most 260 characters)", nullptr,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));

    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    static GstStaticPadTemplate sinkTemplate =
        GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_set_static_metadata(elementClass, kWrapperLongName, "Sink/Audio",
                                          "Hands decoded audio to the transcoder", "Tavrisk");

    GstBaseSinkClass* sinkClass = GST_BASE_SINK_CLASS(klass);
    sinkClass->set_caps = SetCaps;
    sinkClass->render = Render;
}

void tavrisk_wrapper_init(TavriskWrapper* self) {
    self->state = new WrapperState;
    gst_base_sink_set_sync(GST_BASE_SINK(self), FALSE);
}

}  // namespace

bool IsWrapper(GstElement* element) {
    return element && G_TYPE_CHECK_INSTANCE_TYPE(element, tavrisk_wrapper_get_type());
}

void SetWrapperReceiver(GstElement* wrapper, SampleReceiver* receiver) {
    if (!IsWrapper(wrapper)) return;
    WrapperState& state = StateOf(wrapper);
    std::lock_guard lock(state.receiveLock);
    state.receiver = receiver;
    state.toldFormat = nullptr;
}

GraphOutcome SetWrapperLocation(GstElement* wrapper, const std::string& location) {
    if (!IsWrapper(wrapper)) return GraphOutcome::Failure("the element is not the wrapper");
    if (location.size() > kWrapperMaxLocation)
        return GraphOutcome::Failure("the location is longer than " +
                                     std::to_string(kWrapperMaxLocation) + " characters");
    g_object_set(wrapper, "location", location.c_str(), nullptr);
    return {};
}

gboolean RegisterWrapperElement(GstPlugin* plugin) {
    return gst_element_register(plugin, kWrapperFactoryName, GST_RANK_NONE,
                                tavrisk_wrapper_get_type());
}

}  // namespace tavrisk
