#include "graph/FilterGraphControl.h"

#include <gst/audio/audio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "graph/AudioLayout.h"
#include "graph/GraphRuntime.h"

namespace tavrisk {
namespace {

constexpr auto kRenderTimeout = std::chrono::seconds(10);
constexpr GstClockTime kStateTimeout = 2 * GST_SECOND;
constexpr const char* kRendererFactory = "autoaudiosink";
constexpr const char* kFallbackRenderer = "fakesink";
constexpr const char* kPcmSink = "audio/x-raw, format=(string)S16LE, layout=(string)interleaved";
// Pads after a demuxer with these caps are exposed as they are, never decoded.
constexpr const char* kUndecodedPrefixes[] = {"video/", "image/",    "subpicture/",
                                              "text/",  "subtitle/", "closedcaption/"};

// A time query (duration or position) of the pipeline in seconds; 0 when unanswered.
double QuerySeconds(GstElement* pipeline, gboolean (*query)(GstElement*, GstFormat, gint64*)) {
    gint64 nanoseconds = 0;
    if (!pipeline || !query(pipeline, GST_FORMAT_TIME, &nanoseconds) || nanoseconds <= 0) {
        return 0.0;
    }
    return static_cast<double>(nanoseconds) / GST_SECOND;
}

// The element's factory long name, or its own name.
std::string LongNameOf(GstObject* object) {
    if (object && GST_IS_ELEMENT(object)) {
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(object));
        if (factory) return gst_element_factory_get_longname(factory);
    }
    return object ? GST_OBJECT_NAME(object) : "";
}

GraphError ErrorOf(GstMessage* message) {
    GError* failure = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &failure, &debug);
    GraphError error{LongNameOf(GST_MESSAGE_SRC(message)),
                     failure ? failure->message : "unknown error"};
    g_clear_error(&failure);
    g_free(debug);
    return error;
}

// decodebin asks about a pad of its own whose target is the pad that was found.
bool IsTypefindOutput(GstPad* pad) {
    GstPad* target =
        pad && GST_IS_GHOST_PAD(pad) ? gst_ghost_pad_get_target(GST_GHOST_PAD(pad)) : nullptr;
    GstElement* element = target ? gst_pad_get_parent_element(target) : nullptr;
    if (target) gst_object_unref(target);
    if (!element) return false;
    GstElementFactory* factory = gst_element_get_factory(element);
    const bool typefind = factory && std::strcmp(GST_OBJECT_NAME(factory), "typefind") == 0;
    gst_object_unref(element);
    return typefind;
}

GstCaps* CapsOf(GstPad* pad) {
    GstCaps* caps = gst_pad_get_current_caps(pad);
    return caps ? caps : gst_pad_query_caps(pad, nullptr);
}

bool IsRawAudio(GstPad* pad) {
    GstCaps* caps = CapsOf(pad);
    const bool audio = caps && !gst_caps_is_empty(caps) && !gst_caps_is_any(caps) &&
                       gst_structure_has_name(gst_caps_get_structure(caps, 0), "audio/x-raw");
    if (caps) gst_caps_unref(caps);
    return audio;
}

// The factory name of the decoder that feeds one of decodebin's pads, or "PCM" when the
// stream needed none.
std::string DecoderBehind(GstPad* pad) {
    std::string name = "PCM";
    GstPad* target = GST_IS_GHOST_PAD(pad) ? gst_ghost_pad_get_target(GST_GHOST_PAD(pad)) : nullptr;
    GstElement* element = target ? gst_pad_get_parent_element(target) : nullptr;
    if (element) {
        const char* klass = gst_element_get_metadata(element, GST_ELEMENT_METADATA_KLASS);
        GstElementFactory* factory = gst_element_get_factory(element);
        if (klass && std::strstr(klass, "Decoder") && factory) {
            name = GST_OBJECT_NAME(factory);
        }
        gst_object_unref(element);
    }
    if (target) gst_object_unref(target);
    return name;
}

std::string StreamText(GstPad* pad) {
    GstCaps* caps = CapsOf(pad);
    GstAudioInfo info;
    std::string text;
    if (caps && gst_audio_info_from_caps(&info, caps)) {
        text = LayoutName(info) + ", " + std::to_string(GST_AUDIO_INFO_RATE(&info)) + " Hz, ";
    }
    if (caps) gst_caps_unref(caps);
    return text + DecoderBehind(pad);
}

// The pipeline and what RenderFile left in it; the callbacks of the streaming threads see it.
struct GraphState {
    GstElement* pipeline = nullptr;
    std::function<void()> notify;
    bool stopped = true;
    bool rewindPending = false;  // stopped by an error, not yet back at the start
    std::optional<GraphError> error;
    std::string renderedStream;

    // The file's branch, as RenderFile built it (references of our own).
    GstElement* renderer = nullptr;
    GstPad* blockedPad = nullptr;
    gulong blockProbe = 0;
    std::atomic<gint64> bytesRead{-1};
    gint64 fileSize = -1;

    // Shared with the streaming threads while RenderFile waits.
    std::mutex buildLock;
    std::condition_variable buildChanged;
    bool building = false;
    bool padsDone = false;
    bool dataWaiting = false;
    int audioStreams = 0;
    std::string firstStream;
    std::optional<std::string> buildError;

    void ForgetBranch();
    void DropMessages();
    void Unblock();
    void LinkAudio(GstPad* pad);
    std::optional<std::string> BuildBranch(GstPad* pad);
};

void GraphState::ForgetBranch() {
    Unblock();
    if (blockedPad) gst_object_unref(blockedPad);
    blockedPad = nullptr;
    if (renderer) gst_object_unref(renderer);
    renderer = nullptr;
    bytesRead = -1;
    fileSize = -1;
    renderedStream.clear();
    std::lock_guard lock(buildLock);
    building = padsDone = dataWaiting = false;
    audioStreams = 0;
    firstStream.clear();
    buildError.reset();
}

void GraphState::DropMessages() {
    if (!pipeline) return;
    GstBus* bus = gst_element_get_bus(pipeline);
    while (GstMessage* message = gst_bus_pop(bus)) gst_message_unref(message);
    gst_object_unref(bus);
}

void GraphState::Unblock() {
    if (blockedPad && blockProbe) gst_pad_remove_probe(blockedPad, blockProbe);
    blockProbe = 0;
}

GstPadProbeReturn OnBlockedData(GstPad*, GstPadProbeInfo* info, gpointer data);

// Runs on the streaming thread of decodebin: the first raw audio stream goes through
// audioconvert and the capsfilter into the renderer. The GStreamer calls are made outside
// `buildLock`, which the bus handler takes for errors they might post.
void GraphState::LinkAudio(GstPad* pad) {
    if (!IsRawAudio(pad)) return;
    const std::string text = StreamText(pad);
    {
        std::lock_guard lock(buildLock);
        if (!building || ++audioStreams > 1) return;
        firstStream = text;
    }
    std::optional<std::string> failure = BuildBranch(pad);
    if (!failure) return;
    std::lock_guard lock(buildLock);
    buildError = std::move(failure);
    buildChanged.notify_all();
}

// The stream's data are held before the renderer, which stays in the NULL state and so never
// opens a sound device.
std::optional<std::string> GraphState::BuildBranch(GstPad* pad) {
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make(kRendererFactory, nullptr);
    if (!sink) sink = gst_element_factory_make(kFallbackRenderer, nullptr);
    if (!convert || !filter || !sink) {
        for (GstElement* element : {convert, filter, sink}) {
            if (element) gst_object_unref(gst_object_ref_sink(element));
        }
        return "the audio conversion elements are missing";
    }
    gst_util_set_object_arg(G_OBJECT(convert), "dithering", "none");
    gst_util_set_object_arg(G_OBJECT(convert), "noise-shaping", "none");
    GstCaps* caps = gst_caps_from_string(kPcmSink);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_element_set_locked_state(sink, TRUE);

    renderer = GST_ELEMENT(gst_object_ref(sink));
    gst_bin_add_many(GST_BIN(pipeline), convert, filter, sink, nullptr);
    if (!gst_element_link_many(convert, filter, sink, nullptr)) {
        return "the audio conversion elements could not be linked";
    }
    blockedPad = gst_element_get_static_pad(filter, "src");
    blockProbe = gst_pad_add_probe(blockedPad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM, OnBlockedData,
                                   this, nullptr);
    gst_element_sync_state_with_parent(filter);
    gst_element_sync_state_with_parent(convert);
    GstPad* input = gst_element_get_static_pad(convert, "sink");
    const bool linked = gst_pad_link(pad, input) == GST_PAD_LINK_OK;
    gst_object_unref(input);
    if (!linked) return "the audio stream could not be connected";
    return std::nullopt;
}

GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* state = static_cast<GraphState*>(data);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        std::lock_guard lock(state->buildLock);
        if (state->building && !state->buildError) {
            const GraphError error = ErrorOf(message);
            state->buildError = error.element + ": " + error.text;
            state->buildChanged.notify_all();
        }
    }
    if (state->notify) state->notify();
    return GST_BUS_PASS;
}

void OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
    static_cast<GraphState*>(data)->LinkAudio(pad);
}

void OnNoMorePads(GstElement*, gpointer data) {
    auto* state = static_cast<GraphState*>(data);
    std::lock_guard lock(state->buildLock);
    state->padsDone = true;
    state->buildChanged.notify_all();
}

// Audio and containers are decoded further; the elementary streams of video, pictures and
// text found in a container are not. The file's own type (found by typefind) is always a
// container, even when its name says video.
gboolean OnAutoplugContinue(GstElement*, GstPad* pad, GstCaps* caps, gpointer) {
    if (!caps || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) return TRUE;
    if (IsTypefindOutput(pad)) return TRUE;
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    gboolean systemStream = FALSE;
    if (gst_structure_get_boolean(structure, "systemstream", &systemStream) && systemStream) {
        return TRUE;
    }
    const char* name = gst_structure_get_name(structure);
    for (const char* prefix : kUndecodedPrefixes) {
        if (g_str_has_prefix(name, prefix)) return FALSE;
    }
    return TRUE;
}

// Dynamic range compression off on every decoder that offers it.
void OnDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    GParamSpec* spec = g_object_class_find_property(G_OBJECT_GET_CLASS(element), "drc");
    if (spec && spec->value_type == G_TYPE_BOOLEAN && (spec->flags & G_PARAM_WRITABLE)) {
        g_object_set(element, "drc", FALSE, nullptr);
    }
}

// Holds the stream before the renderer until the wrapper takes its place: data and gaps wait;
// sticky events are dropped here and sent again to whatever is linked when data flow.
GstPadProbeReturn OnBlockedData(GstPad*, GstPadProbeInfo* info, gpointer data) {
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_IS_STICKY(event) && GST_EVENT_TYPE(event) != GST_EVENT_EOS) {
            return GST_PAD_PROBE_DROP;
        }
    }
    auto* state = static_cast<GraphState*>(data);
    std::lock_guard lock(state->buildLock);
    state->dataWaiting = true;
    state->buildChanged.notify_all();
    return GST_PAD_PROBE_OK;
}

// Remembers how far into the file the last read reached.
GstPadProbeReturn OnSourceBuffer(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer) return GST_PAD_PROBE_OK;
    guint64 offset = GST_BUFFER_OFFSET(buffer);
    if (offset == GST_BUFFER_OFFSET_NONE) offset = info->offset;
    if (offset != GST_BUFFER_OFFSET_NONE) {
        static_cast<GraphState*>(data)->bytesRead =
            static_cast<gint64>(offset + gst_buffer_get_size(buffer));
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace

struct FilterGraphControl::State : GraphState {};

FilterGraphControl::FilterGraphControl() : state(new State) {}

FilterGraphControl::~FilterGraphControl() {
    ReleaseGraph();
    delete state;
}

bool FilterGraphControl::CreateGraph(std::function<void()> notify) {
    std::string failure;
    if (!InitGraphRuntime(failure)) return false;
    ReleaseGraph();
    state->notify = std::move(notify);
    state->pipeline = gst_pipeline_new("graph");
    if (!state->pipeline) return false;
    gst_object_ref_sink(state->pipeline);
    GstBus* bus = gst_element_get_bus(state->pipeline);
    gst_bus_set_sync_handler(bus, OnBusMessage, static_cast<GraphState*>(state), nullptr);
    gst_object_unref(bus);
    state->stopped = true;
    return true;
}

void FilterGraphControl::ReleaseGraph() {
    if (!state->pipeline) return;
    Clear();
    GstBus* bus = gst_element_get_bus(state->pipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(state->pipeline);
    state->pipeline = nullptr;
}

bool FilterGraphControl::HasGraph() const {
    return state->pipeline != nullptr;
}

GstElement* FilterGraphControl::Pipeline() const {
    return state->pipeline;
}

bool FilterGraphControl::RenderFile(const std::string& name, std::string& error) {
    if (!state->pipeline) {
        error = "there is no graph";
        return false;
    }
    Clear();
    std::error_code failure;
    const auto size = std::filesystem::file_size(name, failure);
    if (failure) {
        error = "the file cannot be read";
        return false;
    }
    state->fileSize = static_cast<gint64>(size);

    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
    if (!source || !decoder) {
        for (GstElement* element : {source, decoder}) {
            if (element) gst_object_unref(gst_object_ref_sink(element));
        }
        error = "the file source or decodebin is missing";
        return false;
    }
    g_object_set(source, "location", name.c_str(), nullptr);
    g_signal_connect(decoder, "autoplug-continue", G_CALLBACK(OnAutoplugContinue), nullptr);
    g_signal_connect(decoder, "deep-element-added", G_CALLBACK(OnDeepElementAdded), nullptr);
    g_signal_connect(decoder, "pad-added", G_CALLBACK(OnPadAdded), static_cast<GraphState*>(state));
    g_signal_connect(decoder, "no-more-pads", G_CALLBACK(OnNoMorePads),
                     static_cast<GraphState*>(state));
    gst_bin_add_many(GST_BIN(state->pipeline), source, decoder, nullptr);
    gst_element_link(source, decoder);
    GstPad* sourcePad = gst_element_get_static_pad(source, "src");
    gst_pad_add_probe(sourcePad, GST_PAD_PROBE_TYPE_BUFFER, OnSourceBuffer,
                      static_cast<GraphState*>(state), nullptr);
    gst_object_unref(sourcePad);

    {
        std::lock_guard lock(state->buildLock);
        state->building = true;
    }
    bool linked = false;
    if (gst_element_set_state(state->pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
        std::unique_lock lock(state->buildLock);
        state->buildChanged.wait_for(lock, kRenderTimeout, [this] {
            return state->buildError ||
                   (state->padsDone && (state->dataWaiting || state->audioStreams == 0));
        });
        linked = state->audioStreams > 0 && !state->buildError;
    }
    std::string stream;
    int streams = 0;
    {
        std::lock_guard lock(state->buildLock);
        state->building = false;
        if (state->buildError)
            error = *state->buildError;
        else if (!state->padsDone && !linked)
            error = "the file could not be opened in time";
        else if (!linked)
            error = "the file has no audio stream";
        stream = state->firstStream;
        streams = state->audioStreams;
    }
    if (!linked) {
        gst_element_set_state(state->pipeline, GST_STATE_NULL);
        state->DropMessages();
        return false;
    }
    state->DropMessages();
    state->renderedStream = "audio stream 1 of " + std::to_string(streams) + ": " + stream;
    state->stopped = true;
    return true;
}

const std::string& FilterGraphControl::RenderedStream() const {
    return state->renderedStream;
}

bool FilterGraphControl::RunGraph() {
    if (!state->pipeline) return false;
    // The renderer of the file's graph must never play: the wrapper has to replace it first.
    if (state->renderer &&
        gst_object_has_as_parent(GST_OBJECT(state->renderer), GST_OBJECT(state->pipeline))) {
        return false;
    }
    state->error.reset();
    state->Unblock();
    if (state->rewindPending) {
        if (!gst_element_seek_simple(state->pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0)) {
            return false;
        }
        state->rewindPending = false;
    }
    if (gst_element_set_state(state->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        return false;
    }
    state->stopped = false;
    return true;
}

bool FilterGraphControl::StopAndRewind() {
    if (!state->pipeline) return false;
    if (gst_element_set_state(state->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        return false;
    }
    gst_element_get_state(state->pipeline, nullptr, nullptr, kStateTimeout);
    state->stopped = true;
    state->rewindPending =
        !gst_element_seek_simple(state->pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0);
    return !state->rewindPending;
}

void FilterGraphControl::DrainEvents() {
    if (!state->pipeline) return;
    GstBus* bus = gst_element_get_bus(state->pipeline);
    while (GstMessage* message = gst_bus_pop(bus)) {
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_EOS:
                StopAndRewind();
                break;
            case GST_MESSAGE_ERROR:
                // Rewinding now could meet the same fault again and again: the next run
                // rewinds instead.
                if (!state->error) state->error = ErrorOf(message);
                gst_element_set_state(state->pipeline, GST_STATE_PAUSED);
                state->stopped = true;
                state->rewindPending = true;
                break;
            default:
                break;
        }
        gst_message_unref(message);
    }
    gst_object_unref(bus);
}

bool FilterGraphControl::IsStopped() const {
    return state->stopped;
}

std::optional<GraphError> FilterGraphControl::TakeError() {
    std::optional<GraphError> error = std::move(state->error);
    state->error.reset();
    return error;
}

double FilterGraphControl::GetDuration() const {
    return QuerySeconds(state->pipeline, gst_element_query_duration);
}

double FilterGraphControl::GetPosition() const {
    return QuerySeconds(state->pipeline, gst_element_query_position);
}

double FilterGraphControl::ByteFraction() const {
    const gint64 read = state->bytesRead;
    if (state->fileSize <= 0 || read < 0) return -1.0;
    return std::min(1.0, static_cast<double>(read) / static_cast<double>(state->fileSize));
}

bool FilterGraphControl::AddGraphFilter(GstElement* element) {
    if (!state->pipeline || !element) return false;
    if (!gst_bin_add(GST_BIN(state->pipeline), element)) return false;
    return gst_element_sync_state_with_parent(element) != FALSE;
}

bool FilterGraphControl::RemoveGraphFilter(GstElement* element) {
    if (!state->pipeline || !element) return false;
    const int before = CountFilters();
    gst_object_ref(element);
    GstIterator* pads = gst_element_iterate_pads(element);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        DisconnectPin(GST_PAD(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    gst_element_set_state(element, GST_STATE_NULL);
    const bool removed = gst_bin_remove(GST_BIN(state->pipeline), element);
    gst_object_unref(element);
    return removed && CountFilters() == before - 1;
}

int FilterGraphControl::CountFilters() const {
    if (!state->pipeline) return 0;
    return static_cast<int>(GST_BIN_NUMCHILDREN(GST_BIN(state->pipeline)));
}

std::vector<GstElement*> FilterGraphControl::Filters() const {
    std::vector<GstElement*> elements;
    if (!state->pipeline) return elements;
    GstIterator* iterator = gst_bin_iterate_elements(GST_BIN(state->pipeline));
    GValue item = G_VALUE_INIT;
    bool done = false;
    while (!done) {
        switch (gst_iterator_next(iterator, &item)) {
            case GST_ITERATOR_OK:
                elements.push_back(GST_ELEMENT(g_value_get_object(&item)));
                g_value_reset(&item);
                break;
            case GST_ITERATOR_RESYNC:
                elements.clear();
                gst_iterator_resync(iterator);
                break;
            default:
                done = true;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(iterator);
    return elements;
}

bool FilterGraphControl::ConnectPins(GstPad* output, GstPad* input) {
    return output && input && gst_pad_link(output, input) == GST_PAD_LINK_OK;
}

bool FilterGraphControl::DisconnectPin(GstPad* pad) {
    if (!pad) return false;
    GstPad* peer = gst_pad_get_peer(pad);
    if (!peer) return false;
    const bool unlinked =
        GST_PAD_IS_SRC(pad) ? gst_pad_unlink(pad, peer) : gst_pad_unlink(peer, pad);
    gst_object_unref(peer);
    return unlinked;
}

void FilterGraphControl::Clear() {
    if (!state->pipeline) return;
    gst_element_set_state(state->pipeline, GST_STATE_NULL);
    state->ForgetBranch();
    for (GstElement* element : Filters()) gst_bin_remove(GST_BIN(state->pipeline), element);
    state->DropMessages();
    state->error.reset();
    state->stopped = true;
    state->rewindPending = false;
}

}  // namespace tavrisk
