// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Mp2EncoderElement.h"

#include <gst/audio/gstaudioencoder.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "mp2enc/ParallelMp2Encoder.h"
#include "platform/UsableCores.h"

namespace tavrisk {
namespace {

constexpr int kMinBitrate = 32;
constexpr int kMaxBitrate = 384;
constexpr int kMaxThreads = 64;

int DefaultThreads() {
    return std::min(UsableCores(), kMaxThreads);
}
constexpr int kChannels = static_cast<int>(SampleBlock::kChannels);
constexpr int kCompatibleChannels = 2;
constexpr double kMinus3Db = 0.7071067811865476;
constexpr std::size_t kNoRow = SampleBlock::kChannels;

// The block rows an input channel feeds: one, or for a rear centre both surrounds at -3 dB
// (the encoder makes one surround of the two again).
struct Feed {
    std::size_t row = kNoRow;
    std::size_t second = kNoRow;
    double gain = 1.0;
};

// Streaming-thread state; the base class serialises the calls that touch it. The settings
// are the properties', taken when the format is set.
struct EncoderState {
    mp2::EncoderSettings settings;  // guarded by the object lock, as is threads
    int threads = DefaultThreads();
    mp2::EncoderSettings running;
    int runningThreads = 1;
    mp2::ParallelMp2Encoder encoder;
    mp2::HeldFrames pending;  // the frames the encoder handed over, until they are pushed
    std::array<Feed, SampleBlock::kChannels> feeds{};
    int channels = 0;
    std::array<std::vector<double>, SampleBlock::kChannels> planes;
};

struct TavriskMp2Enc {
    GstAudioEncoder parent;
    EncoderState* state;
};

struct TavriskMp2EncClass {
    GstAudioEncoderClass parentClass;
};

enum { kPropBitrate = 1, kPropCrc, kPropDematrix, kPropTcAllocation, kPropThreads };

G_DEFINE_TYPE(TavriskMp2Enc, tavrisk_mp2_enc, GST_TYPE_AUDIO_ENCODER)

EncoderState& StateOf(gpointer object) {
    return *reinterpret_cast<TavriskMp2Enc*>(object)->state;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    EncoderState& state = StateOf(object);
    mp2::EncoderSettings& settings = state.settings;
    GST_OBJECT_LOCK(object);
    switch (id) {
        case kPropBitrate:
            settings.bitrateKbps = settings.totalBitrateKbps = g_value_get_int(value);
            break;
        case kPropCrc:
            settings.crc = g_value_get_boolean(value) != FALSE;
            break;
        case kPropDematrix:
            settings.dematrixChoice = g_value_get_int(value);
            break;
        case kPropTcAllocation:
            settings.tcAllocChoice = g_value_get_int(value);
            break;
        case kPropThreads:
            state.threads = g_value_get_int(value);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(object);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    const EncoderState& state = StateOf(object);
    const mp2::EncoderSettings& settings = state.settings;
    GST_OBJECT_LOCK(object);
    switch (id) {
        case kPropBitrate:
            g_value_set_int(value, settings.bitrateKbps);
            break;
        case kPropCrc:
            g_value_set_boolean(value, settings.crc);
            break;
        case kPropDematrix:
            g_value_set_int(value, settings.dematrixChoice);
            break;
        case kPropTcAllocation:
            g_value_set_int(value, settings.tcAllocChoice);
            break;
        case kPropThreads:
            g_value_set_int(value, state.threads);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(object);
}

void Finalize(GObject* object) {
    delete reinterpret_cast<TavriskMp2Enc*>(object)->state;
    G_OBJECT_CLASS(tavrisk_mp2_enc_parent_class)->finalize(object);
}

// The block rows of each input channel, and the configuration the positions make: mono is
// 1/0, a centre makes three fronts, a rear centre one surround, two rear or side channels
// two. Nothing when the positions are not of a configuration.
std::optional<ChannelConfiguration> FeedsOfPositions(const GstAudioInfo& info,
                                                     EncoderState& state) {
    const int channels = GST_AUDIO_INFO_CHANNELS(&info);
    if (channels < 1 || channels > kChannels) return std::nullopt;
    unsigned seen = 0;
    bool rearCentre = false;
    for (int c = 0; c < channels; ++c) {
        Feed feed;
        const GstAudioChannelPosition position = channels == 1
                                                     ? GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER
                                                     : GST_AUDIO_INFO_POSITION(&info, c);
        switch (position) {
            case GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT:
                feed.row = SampleBlock::kRowL;
                break;
            case GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT:
                feed.row = SampleBlock::kRowR;
                break;
            case GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER:
                feed.row = SampleBlock::kRowC;
                break;
            case GST_AUDIO_CHANNEL_POSITION_LFE1:
                feed.row = SampleBlock::kRowLfe;
                break;
            case GST_AUDIO_CHANNEL_POSITION_REAR_LEFT:
            case GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT:
                feed.row = SampleBlock::kRowLs;
                break;
            case GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT:
            case GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT:
                feed.row = SampleBlock::kRowRs;
                break;
            case GST_AUDIO_CHANNEL_POSITION_REAR_CENTER:
                feed = {SampleBlock::kRowLs, SampleBlock::kRowRs, kMinus3Db};
                rearCentre = true;
                break;
            default:
                return std::nullopt;
        }
        const unsigned rows = (1u << feed.row) | (feed.second != kNoRow ? 1u << feed.second : 0u);
        if ((seen & rows) != 0) return std::nullopt;  // two channels in one place
        seen |= rows;
        state.feeds[static_cast<std::size_t>(c)] = feed;
    }
    state.channels = channels;
    auto has = [&](std::size_t row) { return (seen & (1u << row)) != 0; };
    ChannelConfiguration configuration;
    configuration.lfe = has(SampleBlock::kRowLfe);
    if (channels == 1) return ChannelConfiguration{1, 0, false};
    if (!has(SampleBlock::kRowL) || !has(SampleBlock::kRowR)) return std::nullopt;
    if (has(SampleBlock::kRowLs) != has(SampleBlock::kRowRs)) return std::nullopt;
    configuration.front = has(SampleBlock::kRowC) ? 3 : 2;
    configuration.surround = rearCentre ? 1 : has(SampleBlock::kRowLs) ? 2 : 0;
    return configuration;
}

// Starts a run with the settings of the moment: at a new format and after a flush.
bool StartRun(GstAudioEncoder* element, EncoderState& state) {
    state.pending.Clear();
    state.encoder.SetThreads(state.runningThreads);
    if (state.encoder.Configure(state.running, state.pending)) return true;
    std::string why;
    for (const mp2::EncoderMessage& message : state.encoder.Log().Take()) why += message.text;
    GST_ELEMENT_ERROR(element, LIBRARY, SETTINGS, ("The encoder refused its settings."),
                      ("%s", why.c_str()));
    return false;
}

gboolean SetFormat(GstAudioEncoder* element, GstAudioInfo* info) {
    EncoderState& state = StateOf(element);
    const auto configuration = FeedsOfPositions(*info, state);
    if (!configuration) {
        GST_ELEMENT_ERROR(element, STREAM, FORMAT,
                          ("The channel positions are not those of a configuration the stream "
                           "can carry (1/0, 2/0, 2/1, 2/2, 3/0, 3/1 or 3/2, with or without LFE)."),
                          ("%d channels", GST_AUDIO_INFO_CHANNELS(info)));
        return FALSE;
    }
    GST_OBJECT_LOCK(element);
    state.running = state.settings;
    state.runningThreads = state.threads;
    GST_OBJECT_UNLOCK(element);
    state.running.channels = *configuration;
    if (!ChannelConfigurationProblem(*configuration).empty()) {
        // Stereo with LFE: the stream has no place for it.
        state.running.channels.lfe = false;
        GST_ELEMENT_WARNING(element, STREAM, FORMAT, ("The LFE channel is left out."),
                            ("a 2/0 stream carries no LFE channel"));
    }
    state.running.sampleRate = GST_AUDIO_INFO_RATE(info);
    state.running.verbosity = 0;
    if (!StartRun(element, state)) return FALSE;
    GstCaps* caps =
        gst_caps_new_simple("audio/mpeg", "mpegversion", G_TYPE_INT, 1, "layer", G_TYPE_INT, 2,
                            "rate", G_TYPE_INT, GST_AUDIO_INFO_RATE(info), "channels", G_TYPE_INT,
                            configuration->front == 1 ? 1 : kCompatibleChannels, nullptr);
    const gboolean set = gst_audio_encoder_set_output_format(element, caps);
    gst_caps_unref(caps);
    return set;
}

// Pushes the frames the encoder handed over; the last of a drained stream stands for the
// samples left, every other for one frame's.
GstFlowReturn PushPending(GstAudioEncoder* element, EncoderState& state, bool draining) {
    GstFlowReturn result = GST_FLOW_OK;
    const std::size_t count = state.pending.Count();
    for (std::size_t i = 0; i < count && result == GST_FLOW_OK; ++i) {
        const std::span<const std::uint8_t> bytes = state.pending.Frame(i);
        GstBuffer* buffer = gst_audio_encoder_allocate_output_buffer(element, bytes.size());
        if (buffer == nullptr) return GST_FLOW_ERROR;
        gst_buffer_fill(buffer, 0, bytes.data(), bytes.size());
        const int samples = draining && i + 1 == count ? -1 : static_cast<int>(SampleBlock::kFrames);
        result = gst_audio_encoder_finish_frame(element, buffer, samples);
    }
    state.pending.Clear();
    return result;
}

GstFlowReturn HandleFrame(GstAudioEncoder* element, GstBuffer* buffer) {
    EncoderState& state = StateOf(element);
    if (buffer == nullptr) {
        state.encoder.Finish();
        const GstFlowReturn pushed = PushPending(element, state, true);
        StartRun(element, state);  // ready for more after the drain
        return pushed;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
    const auto channels = static_cast<std::size_t>(state.channels);
    const std::size_t frames = map.size / (sizeof(int16_t) * channels);
    const auto* values = reinterpret_cast<const int16_t*>(map.data);
    for (auto& plane : state.planes) plane.assign(frames, 0.0);
    for (std::size_t c = 0; c < channels; ++c) {
        const Feed& feed = state.feeds[c];
        for (std::size_t f = 0; f < frames; ++f) {
            const double value = feed.gain * values[f * channels + c];
            state.planes[feed.row][f] = value;
            if (feed.second != kNoRow) state.planes[feed.second][f] = value;
        }
    }
    gst_buffer_unmap(buffer, &map);
    std::array<const double*, SampleBlock::kChannels> rows{};
    for (std::size_t r = 0; r < rows.size(); ++r) rows[r] = state.planes[r].data();
    state.encoder.Push(rows, frames);
    return PushPending(element, state, false);
}

// The input the encoder takes, whatever the output's caps: the base class would carry the
// output's channels (the compatible pair) over to the input.
GstCaps* GetCaps(GstAudioEncoder* element, GstCaps* filter) {
    GstCaps* accepted = gst_pad_get_pad_template_caps(GST_AUDIO_ENCODER_SINK_PAD(element));
    if (filter == nullptr) return accepted;
    GstCaps* both = gst_caps_intersect_full(filter, accepted, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(accepted);
    return both;
}

void Flush(GstAudioEncoder* element) {
    StartRun(element, StateOf(element));
}

void tavrisk_mp2_enc_class_init(TavriskMp2EncClass* klass) {
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    const mp2::EncoderSettings defaults;
    g_object_class_install_property(
        objectClass, kPropBitrate,
        g_param_spec_int(kMp2EncoderBitrateProperty, "Bitrate",
                         "Bitrate in kbit/s (a Layer II bitrate from 32 to 384)", kMinBitrate,
                         kMaxBitrate, defaults.bitrateKbps, flags));
    g_object_class_install_property(
        objectClass, kPropCrc,
        g_param_spec_boolean(kMp2EncoderCrcProperty, "CRC", "Protect the headers with a CRC",
                             defaults.crc, flags));
    g_object_class_install_property(
        objectClass, kPropDematrix,
        g_param_spec_int(kMp2EncoderDematrixProperty, "Dematrix procedure",
                         "Matrix procedure 0 to 3; -1 picks one at random per frame", -1, 3,
                         defaults.dematrixChoice, flags));
    g_object_class_install_property(
        objectClass, kPropTcAllocation,
        g_param_spec_int(kMp2EncoderTcAllocationProperty, "Transmission channel allocation",
                         "-2 adaptive, -1 random, 0 to 7 fixed", -2, 7, defaults.tcAllocChoice,
                         flags));
    g_object_class_install_property(
        objectClass, kPropThreads,
        g_param_spec_int(kMp2EncoderThreadsProperty, "Threads",
                         "Threads the frames are encoded on (default: the usable cores); the "
                         "stream is the same on any number",
                         1, kMaxThreads, DefaultThreads(), flags));

    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
        "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
        // Any positions: the surrounds may be rear or side channels, and a converter asked
        // for one kind would mix the other into the fronts. SetFormat checks them and takes
        // the stream's configuration from them.
        GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(S16) ", "
                        "layout = (string) interleaved, rate = (int) { 32000, 44100, 48000 }, "
                        "channels = (int) [ 1, 6 ]"));
    static GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
        "src", GST_PAD_SRC, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("audio/mpeg, mpegversion = (int) 1, layer = (int) 2, "
                        "rate = (int) { 32000, 44100, 48000 }, channels = (int) [ 1, 2 ]"));
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(
        elementClass, kMp2EncoderLongName, "Codec/Encoder/Audio",
        "Encodes audio as Layer II: MPEG-2 multichannel up to 3/2 with LFE, by the input's "
        "channel positions; mono and stereo as plain MPEG-1",
        "Tavrisk");

    GstAudioEncoderClass* encoderClass = GST_AUDIO_ENCODER_CLASS(klass);
    encoderClass->set_format = SetFormat;
    encoderClass->handle_frame = HandleFrame;
    encoderClass->flush = Flush;
    encoderClass->getcaps = GetCaps;
}

void tavrisk_mp2_enc_init(TavriskMp2Enc* self) {
    self->state = new EncoderState;
    self->state->settings.verbosity = 0;
    gst_audio_encoder_set_drainable(GST_AUDIO_ENCODER(self), TRUE);
}

}  // namespace

gboolean RegisterMp2EncoderElement(GstPlugin* plugin) {
    return gst_element_register(plugin, kMp2EncoderFactoryName, GST_RANK_SECONDARY,
                                tavrisk_mp2_enc_get_type());
}

}  // namespace tavrisk
