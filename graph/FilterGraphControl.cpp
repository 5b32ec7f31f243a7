// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/FilterGraphControl.h"

#include <gst/audio/gstaudiodecoder.h>

#include <cstring>
#include <deque>
#include <mutex>

#include "graph/FileGraphBuilder.h"
#include "graph/GraphRuntime.h"
#include "platform/LibraryLog.h"

namespace tavrisk {
namespace {

// How long a stop may take to settle before the rewind.
constexpr GstClockTime kStateTimeout = 2 * GST_SECOND;
constexpr const char* kNoGraph = "there is no graph";
constexpr const char* kNoElement = "there is no element";
constexpr const char* kNoPin = "a pin is missing";

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
    // A type not found, or a container found but not read (an MP4 without its index).
    const bool notMedia =
        g_error_matches(failure, GST_STREAM_ERROR, GST_STREAM_ERROR_TYPE_NOT_FOUND) ||
        g_error_matches(failure, GST_STREAM_ERROR, GST_STREAM_ERROR_DEMUX);
    GraphError error{LongNameOf(GST_MESSAGE_SRC(message)),
                     failure ? failure->message : "unknown error", notMedia};
    g_clear_error(&failure);
    g_free(debug);
    return error;
}

// The description of the plugin a "missing-plugin" element message asks for ("" for any
// other message); the installer detail stands in when the message has no description.
std::string MissingPluginOf(GstMessage* message) {
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ELEMENT) return "";
    const GstStructure* fields = gst_message_get_structure(message);
    if (!fields || !gst_structure_has_name(fields, "missing-plugin")) return "";
    const char* name = gst_structure_get_string(fields, "name");
    if (name && *name) return name;
    const GValue* detail = gst_structure_get_value(fields, "detail");
    if (detail && GST_VALUE_HOLDS_CAPS(detail)) {
        gchar* caps = gst_caps_to_string(gst_value_get_caps(detail));
        std::string text = std::string("a decoder of ") + caps;
        g_free(caps);
        return text;
    }
    return "an element";
}

bool IsDecoder(GstObject* object) {
    if (!object || !GST_IS_ELEMENT(object)) return false;
    const char* klass = gst_element_get_metadata(GST_ELEMENT(object), GST_ELEMENT_METADATA_KLASS);
    return klass && std::strstr(klass, "Decoder");
}

// A timestamp of the decoder's output as running time, through the segment of its source pad.
std::optional<uint64_t> RunningTimeOf(GstElement* decoder, GstClockTime timestamp) {
    if (!GST_CLOCK_TIME_IS_VALID(timestamp)) return std::nullopt;
    GST_OBJECT_LOCK(decoder);
    GstPad* pad = decoder->srcpads ? GST_PAD(gst_object_ref(decoder->srcpads->data)) : nullptr;
    GST_OBJECT_UNLOCK(decoder);
    GstEvent* event = pad ? gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0) : nullptr;
    std::optional<uint64_t> running;
    if (event) {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        const guint64 time = segment->format == GST_FORMAT_TIME
                                 ? gst_segment_to_running_time(segment, GST_FORMAT_TIME, timestamp)
                                 : GST_CLOCK_TIME_NONE;
        if (GST_CLOCK_TIME_IS_VALID(time)) running = time;
        gst_event_unref(event);
    }
    if (pad) gst_object_unref(pad);
    return running;
}

// A decoder's warning: the frames and timestamp its details give (ours), or one damaged place
// where its output stands (any other decoder that recovered from an error).
DecoderDamage DamageOf(GstMessage* message) {
    GstElement* decoder = GST_ELEMENT(GST_MESSAGE_SRC(message));
    const GstStructure* details = nullptr;
    gst_message_parse_warning_details(message, &details);
    DecoderDamage damage;
    guint64 timestamp = GST_CLOCK_TIME_NONE;
    guint frames = 0;
    if (details && gst_structure_has_name(details, kDamageDetails)) {
        gst_structure_get_uint64(details, kDamageTimestampField, &timestamp);
        if (gst_structure_get_uint(details, kDamageFramesField, &frames) && frames > 0)
            damage.frames = static_cast<int>(frames);
    } else if (GST_IS_AUDIO_DECODER(decoder)) {
        // On the decoder's own streaming thread: where its output has reached.
        timestamp = GST_AUDIO_DECODER(decoder)->output_segment.position;
    }
    damage.atNs = RunningTimeOf(decoder, timestamp);
    return damage;
}

}  // namespace

struct FilterGraphControl::State {
    // The pipeline's messages in the order they were posted, kept here rather than on its bus: the
    // bus queues a message only once its sync handler has returned, so an owner woken from there
    // could look before the message is in, and miss it until something else woke it.
    class PostedMessages {
      public:
        PostedMessages() = default;
        ~PostedMessages() { Drop(); }
        PostedMessages(const PostedMessages&) = delete;
        PostedMessages& operator=(const PostedMessages&) = delete;

        // On the posting thread.
        void Add(GstMessage* message) {
            const std::lock_guard guard(lock);
            queue.push_back(gst_message_ref(message));
        }
        // The oldest message, now the caller's; null when none waits.
        GstMessage* Take() {
            const std::lock_guard guard(lock);
            if (queue.empty()) return nullptr;
            GstMessage* oldest = queue.front();
            queue.pop_front();
            return oldest;
        }
        void Drop() {
            while (GstMessage* message = Take()) gst_message_unref(message);
        }

      private:
        std::mutex lock;
        std::deque<GstMessage*> queue;
    };

    GstElement* pipeline = nullptr;
    std::function<void()> notify;
    bool stopped = true;
    bool rewindPending = false;  // stopped at the end or by an error, not yet back at the start
    std::optional<GraphError> error;
    StreamRepairs repairs;
    uint64_t libraryMessagesBefore = 0;  // LibraryLog's count when the file was rendered
    FileGraphBuilder file;
    std::mutex damageLock;
    std::vector<DecoderDamage> damage;
    PostedMessages posted;

    // The state the graph is in now, without waiting for one it is changing to.
    GstState CurrentState() const {
        GstState current = GST_STATE_VOID_PENDING;
        gst_element_get_state(pipeline, &current, nullptr, 0);
        return current;
    }
    // Pauses the graph where it stands; the next run rewinds it first.
    void StopForLaterRewind() {
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
        stopped = true;
        rewindPending = true;
    }

    static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer self);
};

GstBusSyncReply FilterGraphControl::State::OnBusMessage(GstBus*, GstMessage* message,
                                                        gpointer self) {
    auto* state = static_cast<State*>(self);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        const GraphError error = ErrorOf(message);
        state->file.ErrorPosted(error.element + ": " + error.text, error.notMedia);
    } else if (const std::string plugin = MissingPluginOf(message); !plugin.empty()) {
        state->file.PluginMissing(plugin);
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING &&
               IsDecoder(GST_MESSAGE_SRC(message))) {
        const DecoderDamage damage = DamageOf(message);
        const std::lock_guard lock(state->damageLock);
        state->damage.push_back(damage);
    }
    state->posted.Add(message);
    if (state->notify) state->notify();
    return GST_BUS_DROP;
}

FilterGraphControl::FilterGraphControl() : state(new State) {
    state->file.ReportFormatsTo(&state->repairs);
}

FilterGraphControl::~FilterGraphControl() {
    ReleaseGraph();
    delete state;
}

GraphOutcome FilterGraphControl::CreateGraph(std::function<void()> notify) {
    if (GraphOutcome started = InitGraphRuntime(); !started) return started;
    ReleaseGraph();
    state->notify = std::move(notify);
    state->pipeline = gst_pipeline_new("graph");
    if (!state->pipeline) return GraphOutcome::Failure("the pipeline could not be made");
    gst_object_ref_sink(state->pipeline);
    GstBus* bus = gst_element_get_bus(state->pipeline);
    gst_bus_set_sync_handler(bus, State::OnBusMessage, state, nullptr);
    gst_object_unref(bus);
    state->stopped = true;
    return {};
}

void FilterGraphControl::ReleaseGraph() {
    if (!state->pipeline) return;
    Clear();
    GstBus* bus = gst_element_get_bus(state->pipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    state->posted.Drop();
    gst_object_unref(state->pipeline);
    state->pipeline = nullptr;
}

bool FilterGraphControl::HasGraph() const {
    return state->pipeline != nullptr;
}

GstElement* FilterGraphControl::Pipeline() const {
    return state->pipeline;
}

GraphOutcome FilterGraphControl::RenderFile(const std::string& name) {
    if (!state->pipeline) return GraphOutcome::Failure(kNoGraph);
    Clear();
    state->libraryMessagesBefore = LibraryLog::Count();
    GraphOutcome built = state->file.Build(state->pipeline, name);
    if (!built) gst_element_set_state(state->pipeline, GST_STATE_NULL);
    // What preroll or a failure posted is not news for the owner.
    state->posted.Drop();
    state->stopped = true;
    return built;
}

const std::string& FilterGraphControl::RenderedStream() const {
    return state->file.StreamName();
}

void FilterGraphControl::WantStream(std::optional<std::size_t> index) {
    state->file.WantStream(index);
}

const std::vector<AudioStreamDescription>& FilterGraphControl::RenderedStreams() const {
    return state->file.Streams();
}

std::size_t FilterGraphControl::ChosenStream() const {
    return state->file.ChosenStream();
}

GraphOutcome FilterGraphControl::RunGraph() {
    if (!state->pipeline) return GraphOutcome::Failure(kNoGraph);
    // The renderer of the file's graph must never play: the wrapper has to replace it first.
    if (state->file.RendererIn(state->pipeline))
        return GraphOutcome::Failure("the file's renderer is still in the graph");
    state->error.reset();
    TakeDecoderDamage();
    // Data held since the file was rendered from a stream no longer connected (the graph was
    // rewired by hand) are flushed by a rewind first: the run starts the graph as it is now.
    if (state->file.HeldDataStale()) state->rewindPending = true;
    if (state->rewindPending) {
        // A graph taken back to ready (as the editor does before it changes one) starts at
        // the start: there is nothing to rewind.
        if (state->CurrentState() >= GST_STATE_PAUSED &&
            !gst_element_seek_simple(state->pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0)) {
            return GraphOutcome::Failure("the graph could not be rewound");
        }
        state->rewindPending = false;
    }
    state->file.Release();
    if (gst_element_set_state(state->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        return GraphOutcome::Failure("the graph refused to play");
    }
    state->stopped = false;
    return {};
}

GraphOutcome FilterGraphControl::StopAndRewind() {
    if (!state->pipeline) return GraphOutcome::Failure(kNoGraph);
    if (gst_element_set_state(state->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        return GraphOutcome::Failure("the graph refused to stop");
    }
    gst_element_get_state(state->pipeline, nullptr, nullptr, kStateTimeout);
    state->stopped = true;
    state->rewindPending =
        !gst_element_seek_simple(state->pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0);
    if (state->rewindPending) return GraphOutcome::Failure("the graph could not be rewound");
    return {};
}

void FilterGraphControl::DrainEvents() {
    if (!state->pipeline) return;
    while (GstMessage* message = state->posted.Take()) {
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_EOS:
                // Rewound only if it runs again: a job that ends here waits for no preroll
                // of the file's start.
                state->StopForLaterRewind();
                break;
            case GST_MESSAGE_ERROR:
                // Rewinding now could meet the same fault again and again: the next run
                // rewinds instead.
                if (!state->error) state->error = ErrorOf(message);
                state->StopForLaterRewind();
                break;
            default:
                break;
        }
        gst_message_unref(message);
    }
}

void FilterGraphControl::LeavePreroll() {
    if (!state->pipeline || !state->stopped || state->CurrentState() <= GST_STATE_READY) return;
    state->file.KeepDecodedLinks();
    gst_element_set_state(state->pipeline, GST_STATE_READY);
}

bool FilterGraphControl::IsStopped() const {
    return state->stopped;
}

std::optional<GraphError> FilterGraphControl::TakeError() {
    std::optional<GraphError> error = std::move(state->error);
    state->error.reset();
    return error;
}

std::vector<DecoderDamage> FilterGraphControl::TakeDecoderDamage() {
    const std::lock_guard lock(state->damageLock);
    std::vector<DecoderDamage> taken;
    taken.swap(state->damage);
    return taken;
}

double FilterGraphControl::GetDuration() const {
    return QuerySeconds(state->pipeline, gst_element_query_duration);
}

double FilterGraphControl::GetPosition() const {
    return QuerySeconds(state->pipeline, gst_element_query_position);
}

double FilterGraphControl::ByteFraction() const {
    return state->file.ByteFraction();
}

StreamRepairs::Summary FilterGraphControl::Repairs() const {
    StreamRepairs::Summary summary = state->repairs.Snapshot();
    summary.libraryMessages = LibraryLog::Count() - state->libraryMessagesBefore;
    return summary;
}

GraphOutcome FilterGraphControl::AddGraphFilter(GstElement* element) {
    if (!state->pipeline) return GraphOutcome::Failure(kNoGraph);
    if (!element) return GraphOutcome::Failure(kNoElement);
    if (!gst_bin_add(GST_BIN(state->pipeline), element))
        return GraphOutcome::Failure("the graph refused the element");
    if (!gst_element_sync_state_with_parent(element))
        return GraphOutcome::Failure("the element could not take the graph's state");
    return {};
}

GraphOutcome FilterGraphControl::RemoveGraphFilter(GstElement* element) {
    if (!state->pipeline) return GraphOutcome::Failure(kNoGraph);
    if (!element) return GraphOutcome::Failure(kNoElement);
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
    if (!removed || CountFilters() != before - 1)
        return GraphOutcome::Failure("the element could not be taken out of the graph");
    return {};
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

GraphOutcome FilterGraphControl::ConnectPins(GstPad* output, GstPad* input) {
    if (!output || !input) return GraphOutcome::Failure(kNoPin);
    const GstPadLinkReturn linked = gst_pad_link(output, input);
    if (linked != GST_PAD_LINK_OK)
        return GraphOutcome::Failure(std::string("the pins could not be connected: ") +
                                     gst_pad_link_get_name(linked));
    return {};
}

GraphOutcome FilterGraphControl::DisconnectPin(GstPad* pad) {
    if (!pad) return GraphOutcome::Failure(kNoPin);
    GstPad* peer = gst_pad_get_peer(pad);
    if (!peer) return GraphOutcome::Failure("the pin is not connected");
    const bool unlinked =
        GST_PAD_IS_SRC(pad) ? gst_pad_unlink(pad, peer) : gst_pad_unlink(peer, pad);
    gst_object_unref(peer);
    if (!unlinked) return GraphOutcome::Failure("the pins could not be disconnected");
    return {};
}

void FilterGraphControl::Clear() {
    if (!state->pipeline) return;
    gst_element_set_state(state->pipeline, GST_STATE_NULL);
    state->file.Forget();
    for (GstElement* element : Filters()) gst_bin_remove(GST_BIN(state->pipeline), element);
    state->posted.Drop();
    state->repairs.Clear();
    state->error.reset();
    state->stopped = true;
    state->rewindPending = false;
}

}  // namespace tavrisk
