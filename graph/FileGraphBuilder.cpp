// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/FileGraphBuilder.h"

#include <gst/audio/audio.h>
#include <gst/pbutils/pbutils.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <initializer_list>

#include "graph/AudioLayout.h"
#include "graph/DemuxQueuePads.h"
#include "graph/DvdTitle.h"
#include "graph/Mp4Index.h"

namespace tavrisk {
namespace {

constexpr auto kBuildTimeout = std::chrono::seconds(10);
constexpr const char* kRendererFactory = "autoaudiosink";
constexpr const char* kFallbackRenderer = "fakesink";
constexpr const char* kUnknownLanguage = "und";
// Steps of the hand-overs between the demuxer's thread, the decoder's and the sink's: about
// 2 to 5 s of a film's AC-3 packets, and 3 s down to 0.8 s of a decoder's batches, the sink
// (faster than the decoder) taking them 1.5 s at a time.
constexpr QueueHandOver::Marks kDemuxedPackets{256, 128};
constexpr QueueHandOver::Marks kDecodedBuffers{16, 4, 8};
// 16-bit streams stay 16-bit; deeper ones (float, 24 or 32 bits) become float, uncut.
constexpr const char* kPcmSink =
    "audio/x-raw, format=(string){ S16LE, F32LE }, layout=(string)interleaved";
// Pads after a demuxer with these caps are exposed as they are, never decoded.
constexpr const char* kUndecodedPrefixes[] = {"video/", "image/",    "subpicture/",
                                              "text/",  "subtitle/", "closedcaption/"};

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

// What the stream's start says of it being played by default.
DefaultFlag DefaultFlagOf(GstEvent* start) {
    GstStreamFlags flags = GST_STREAM_FLAG_NONE;
    gst_event_parse_stream_flags(start, &flags);
    if (flags & GST_STREAM_FLAG_SELECT) return DefaultFlag::kDefault;
    if (flags & GST_STREAM_FLAG_UNSELECT) return DefaultFlag::kNotDefault;
    return DefaultFlag::kUnflagged;
}

std::string TagText(const GstTagList* tags, const char* tag) {
    gchar* value = nullptr;
    if (!tags || !gst_tag_list_get_string(tags, tag, &value) || !value) return {};
    std::string text = value;
    g_free(value);
    return text;
}

// The language and title the container gives the stream, where it says them.
void ReadTags(const GstTagList* tags, AudioStreamDescription& description) {
    // "und": the container says the language is not known.
    if (description.language.empty() || description.language == kUnknownLanguage)
        description.language = TagText(tags, GST_TAG_LANGUAGE_CODE);
    if (description.language == kUnknownLanguage) description.language.clear();
    if (description.title.empty()) description.title = TagText(tags, GST_TAG_TITLE);
}

std::string SampleKind(const GstAudioInfo& info) {
    if (GST_AUDIO_INFO_IS_FLOAT(&info)) return "float";
    return std::to_string(GST_AUDIO_INFO_DEPTH(&info)) + "-bit";
}

// The language and title of the tag events `pad` holds.
void ReadStickyTags(GstPad* pad, AudioStreamDescription& description) {
    for (guint i = 0;; ++i) {
        GstEvent* tagEvent = gst_pad_get_sticky_event(pad, GST_EVENT_TAG, i);
        if (!tagEvent) break;
        GstTagList* tags = nullptr;
        gst_event_parse_tag(tagEvent, &tags);
        ReadTags(tags, description);
        gst_event_unref(tagEvent);
    }
}

// What the decoded pad, the stream's start and the tags on the pad say of the stream.
AudioStreamDescription DescriptionOf(GstPad* pad) {
    AudioStreamDescription description;
    if (GstCaps* caps = CapsOf(pad)) {
        GstAudioInfo info;
        if (gst_audio_info_from_caps(&info, caps)) {
            description.channels = GST_AUDIO_INFO_CHANNELS(&info);
            description.layout = LayoutName(info);
            description.rate = GST_AUDIO_INFO_RATE(&info);
            description.samples = SampleKind(info);
        }
        gst_caps_unref(caps);
    }
    if (GstEvent* start = gst_pad_get_sticky_event(pad, GST_EVENT_STREAM_START, 0)) {
        description.flag = DefaultFlagOf(start);
        GstStream* stream = nullptr;
        gst_event_parse_stream(start, &stream);
        if (stream) {
            if (GstTagList* tags = gst_stream_get_tags(stream)) {
                ReadTags(tags, description);
                gst_tag_list_unref(tags);
            }
            gst_object_unref(stream);
        }
        gst_event_unref(start);
    }
    ReadStickyTags(pad, description);
    return description;
}

// The tags the demuxer sent with the stream, as they entered its queue: a decoder passes them
// on only with its first output, which a stream nothing reads may not have reached yet.
void ReadDemuxedTags(GstPad* decoded, AudioStreamDescription& description) {
    GstPad* output = DemuxQueueOutputBehind(decoded);
    if (!output) return;
    GstElement* queue = gst_pad_get_parent_element(output);
    const std::string number = DemuxQueueStreamNumber(output);
    gst_object_unref(output);
    if (!queue) return;
    if (GstPad* input = number.empty() ? nullptr : DemuxQueueInput(queue, number)) {
        ReadStickyTags(input, description);
        gst_object_unref(input);
    }
    gst_object_unref(queue);
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

// The caps the decoder behind one of decodebin's pads takes in, when they are coded (not raw
// audio): a reference of the caller's, or nullptr.
GstCaps* CodedCapsBehind(GstPad* pad) {
    GstPad* target = GST_IS_GHOST_PAD(pad) ? gst_ghost_pad_get_target(GST_GHOST_PAD(pad)) : nullptr;
    GstElement* element = target ? gst_pad_get_parent_element(target) : nullptr;
    GstPad* input = element ? gst_element_get_static_pad(element, "sink") : nullptr;
    GstCaps* coded = input ? gst_pad_get_current_caps(input) : nullptr;
    if (coded && (gst_caps_is_empty(coded) || gst_caps_is_any(coded) ||
                  gst_structure_has_name(gst_caps_get_structure(coded, 0), "audio/x-raw"))) {
        gst_caps_unref(coded);
        coded = nullptr;
    }
    if (input) gst_object_unref(input);
    if (element) gst_object_unref(element);
    if (target) gst_object_unref(target);
    return coded;
}

// What coded caps are, in words ("E-AC-3", "FLAC").
std::string CodecName(GstCaps* coded) {
    gchar* description = gst_pb_utils_get_codec_description(coded);
    std::string name = description ? description : "";
    g_free(description);
    return name;
}

// The bits per sample FLAC's stream information block states, from the stream headers in its
// caps ("fLaC", a block header, then the block: the depth less one in the 5 bits after the
// 20 of the rate and 3 of the channels, 12 bytes in); 0 when they say nothing.
int FlacStatedBits(GstCaps* coded) {
    constexpr char kMarker[] = "fLaC";
    constexpr std::size_t kBitsByte = 4 + 4 + 12;  // marker, block header, 12 bytes of block
    const GstStructure* structure = gst_caps_get_structure(coded, 0);
    const GValue* headers = gst_structure_get_value(structure, "streamheader");
    if (!gst_structure_has_name(structure, "audio/x-flac") || !headers ||
        !GST_VALUE_HOLDS_ARRAY(headers))
        return 0;
    std::vector<uint8_t> bytes;
    for (guint i = 0; i < gst_value_array_get_size(headers); ++i) {
        const GValue* header = gst_value_array_get_value(headers, i);
        GstBuffer* buffer = GST_VALUE_HOLDS_BUFFER(header) ? gst_value_get_buffer(header) : nullptr;
        GstMapInfo map;
        if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) continue;
        bytes.insert(bytes.end(), map.data, map.data + map.size);
        gst_buffer_unmap(buffer, &map);
    }
    const auto marker = std::search(bytes.begin(), bytes.end(), kMarker, kMarker + 4);
    if (bytes.end() - marker <= static_cast<std::ptrdiff_t>(kBitsByte + 1)) return 0;
    const std::size_t at = static_cast<std::size_t>(marker - bytes.begin()) + kBitsByte;
    return (((bytes[at] & 0x01) << 4) | (bytes[at + 1] >> 4)) + 1;
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

// Audio and containers are decoded further; the elementary streams of video, pictures and
// text found in a container are not. The file's own type (found by typefind) is always a
// container, even when its name says video.
gboolean OnAutoplugContinue(GstElement*, GstPad* pad, GstCaps* caps, gpointer self) {
    if (!caps || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) return TRUE;
    if (IsTypefindOutput(pad)) return TRUE;
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    gboolean systemStream = FALSE;
    if (gst_structure_get_boolean(structure, "systemstream", &systemStream) && systemStream) {
        return TRUE;
    }
    const char* name = gst_structure_get_name(structure);
    static_cast<FileGraphBuilder*>(self)->StreamFound(g_str_has_prefix(name, "audio/"));
    for (const char* prefix : kUndecodedPrefixes) {
        if (g_str_has_prefix(name, prefix)) return FALSE;
    }
    return TRUE;
}

// Dynamic range compression off on every decoder that offers it.
void OnDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    GParamSpec* pspec = g_object_class_find_property(G_OBJECT_GET_CLASS(element), "drc");
    if (pspec && pspec->value_type == G_TYPE_BOOLEAN && (pspec->flags & G_PARAM_WRITABLE)) {
        g_object_set(element, "drc", FALSE, nullptr);
    }
}

void DropFloating(std::initializer_list<GstElement*> elements) {
    for (GstElement* element : elements) {
        if (element) gst_object_unref(gst_object_ref_sink(element));
    }
}

}  // namespace

FileGraphBuilder::~FileGraphBuilder() {
    Forget();
}

GraphOutcome FileGraphBuilder::Build(GstElement* target, const std::string& name) {
    Forget();
    gst_pb_utils_init();
    // A DVD title is read whole, its VOB files one after another.
    const std::vector<std::string> title = DvdTitleFiles(name);
    std::uintmax_t size = 0;
    for (const std::string& file : title.empty() ? std::vector<std::string>{name} : title) {
        std::error_code unreadable;
        size += std::filesystem::file_size(file, unreadable);
        if (unreadable)
            return GraphOutcome::Failure("the file cannot be read: " + unreadable.message());
    }
    fileSize = static_cast<gint64>(size);
    if (repairs && !title.empty()) repairs->NoteInputDamage(TitleDamage(title));
    // An MP4 cut before its index is refused here: decodebin, still trying the demuxer when
    // the demuxer fails on it, may drop the demuxer's error and then wait for ever.
    if (title.empty() && Mp4WithoutIndex(name))
        return GraphOutcome::Failure("the MP4 file has no index (it was cut short)",
                                     BuildProblem::kNotMedia);

    GstElement* source =
        title.empty() ? gst_element_factory_make("filesrc", nullptr) : MakeTitleSource(title);
    GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
    if (!source || !decoder) {
        DropFloating({source, decoder});
        return GraphOutcome::Failure("the file source or decodebin is missing");
    }
    pipeline = target;
    decodeBin = GST_ELEMENT(gst_object_ref(decoder));  // kept if the editor takes it out
    if (title.empty()) g_object_set(source, "location", name.c_str(), nullptr);
    g_signal_connect(decoder, "autoplug-continue", G_CALLBACK(OnAutoplugContinue), this);
    g_signal_connect(decoder, "deep-element-added", G_CALLBACK(OnDeepElementAdded), nullptr);
    g_signal_connect(decoder, "pad-added", G_CALLBACK(OnPadAdded), this);
    g_signal_connect(decoder, "no-more-pads", G_CALLBACK(OnNoMorePads), this);
    g_signal_connect(decoder, "pad-removed", G_CALLBACK(OnPadRemoved), this);
    g_signal_connect(decoder, "unknown-type", G_CALLBACK(OnUnknownType), this);
    gst_bin_add_many(GST_BIN(pipeline), source, decoder, nullptr);
    gst_element_link(source, decoder);
    GstPad* sourcePad = gst_element_get_static_pad(source, "src");
    gst_pad_add_probe(sourcePad, GST_PAD_PROBE_TYPE_BUFFER, OnSourceBuffer, this, nullptr);
    gst_object_unref(sourcePad);

    {
        std::lock_guard guard(lock);
        building = true;
    }
    return WaitForAudio();
}

GraphOutcome FileGraphBuilder::WaitForAudio() {
    const bool started =
        gst_element_set_state(pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
    std::unique_lock guard(lock);
    if (started) {
        changed.wait_for(guard, kBuildTimeout, [this] {
            return failure || (padsDone && (dataHeld || audioPads.empty()));
        });
    }
    building = false;
    // A stream no installed plugin decodes: the plugin GStreamer named is the reason.
    if (!missingPlugin.empty() && (failure || audioPads.empty()))
        return GraphOutcome::Failure("the GStreamer plugin for \"" + missingPlugin +
                                     "\" is not installed (gst-inspect-1.0 lists those that are)");
    if (failure) {
        // A container whose streams are all video, pictures or text: decodebin may give up on
        // it before it says there are no more pads.
        BuildProblem problem = BuildProblem::kOther;
        if (notMedia)
            problem = BuildProblem::kNotMedia;
        else if (noSuchTrack)
            problem = BuildProblem::kNoSuchTrack;
        else if (audioPads.empty() && !undecodedAudio && !audioStreamSeen && otherStreamSeen)
            problem = BuildProblem::kNoAudioStream;
        return GraphOutcome::Failure(*failure, problem);
    }
    if (!started) return GraphOutcome::Failure("the file could not be opened");
    if (audioPads.empty()) {
        if (!padsDone) return GraphOutcome::Failure("the file could not be opened in time");
        return GraphOutcome::Failure(
            "the file has no audio stream",
            undecodedAudio ? BuildProblem::kOther : BuildProblem::kNoAudioStream);
    }
    const std::size_t count = audioPads.size();
    streamName =
        "audio track " + std::to_string(chosen + 1) + " of " + std::to_string(count) + ": ";
    GstPad* pad = audioPads[chosen].pad;
    std::vector<AudioPad> found;
    for (const AudioPad& audio : audioPads)
        found.push_back(
            {GST_PAD(gst_object_ref(audio.pad)), audio.description, audio.statedSamples});
    guard.unlock();
    // The caps the held data came with: the stream's own format, not a decoder's guess.
    streamName += StreamText(pad) + " (" + chosenReason + ")";
    // Now that the file is prerolled: each stream's length, and tags that came with the data.
    for (AudioPad& audio : found) {
        // The caps the data came with, where they came (not a decoder's early guess).
        AudioStreamDescription late = DescriptionOf(audio.pad);
        ReadDemuxedTags(audio.pad, late);
        AudioStreamDescription& description = audio.description;
        if (late.rate > 0) {
            description.channels = late.channels;
            description.layout = late.layout;
            description.rate = late.rate;
            if (audio.statedSamples.empty()) description.samples = late.samples;
        }
        if (description.language.empty()) description.language = late.language;
        if (description.title.empty()) description.title = late.title;
        gint64 length = -1;
        if (gst_pad_query_duration(audio.pad, GST_FORMAT_TIME, &length) && length > 0)
            description.durationNs = static_cast<uint64_t>(length);
        streams.push_back(description);
        gst_object_unref(audio.pad);
    }
    return {};
}

void FileGraphBuilder::StreamFound(bool audio) {
    std::lock_guard guard(lock);
    (audio ? audioStreamSeen : otherStreamSeen) = true;
}

void FileGraphBuilder::ErrorPosted(const std::string& text, bool notMediaFile) {
    std::lock_guard guard(lock);
    if (!building || failure) return;
    failure = text;
    notMedia = notMediaFile;
    changed.notify_all();
}

void FileGraphBuilder::PluginMissing(const std::string& description) {
    std::lock_guard guard(lock);
    if (building && missingPlugin.empty()) missingPlugin = description;
}

void FileGraphBuilder::Release() {
    DropHold();
    // The chosen stream, still linked into the conversion, is paced out of its demuxer's
    // queue, and the decoded data out of the queue before the sink.
    if (StreamLinked()) demuxedHandOver.AttachDemuxed(linkedStream, kDemuxedPackets);
    if (sinkQueue) decodedHandOver.AttachQueue(sinkQueue, kDecodedBuffers);
    // Streams left undecoded and unread (a film's video) stop at the demuxer's queue.
    if (GstElement* decodebin = linkedStream ? gst_pad_get_parent_element(linkedStream) : nullptr) {
        unreadStreams.Attach(decodebin);
        gst_object_unref(decodebin);
    }
}

void FileGraphBuilder::KeepDecodedLinks() {
    if (!decodeBin) return;
    std::vector<GstPad*> peers;
    GstIterator* pads = gst_element_iterate_src_pads(decodeBin);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        peers.push_back(gst_pad_get_peer(GST_PAD(g_value_get_object(&item))));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    std::lock_guard guard(lock);
    DropKeptLinks();
    keptPeers = std::move(peers);  // counted from the first pad once decodebin drops them all
}

void FileGraphBuilder::DropKeptLinks() {
    for (GstPad* peer : keptPeers)
        if (peer) gst_object_unref(peer);
    keptPeers.clear();
}

void FileGraphBuilder::Relink(GstPad* pad) {
    GstPad* peer = nullptr;
    {
        std::lock_guard guard(lock);
        const std::size_t place = padsSinceReady++;
        if (building || place >= keptPeers.size() || !keptPeers[place]) return;
        peer = GST_PAD(gst_object_ref(keptPeers[place]));
    }
    // A peer since linked elsewhere, or taken out of the graph, stays as it is: the stream is
    // then not linked, and the graph says so when it runs.
    if (!gst_pad_is_linked(peer)) gst_pad_link(pad, peer);
    gst_object_unref(peer);
}

void FileGraphBuilder::DropHold() {
    if (heldPad && holdProbe) gst_pad_remove_probe(heldPad, holdProbe);
    holdProbe = 0;
}

bool FileGraphBuilder::StreamLinked() const {
    if (!branchInput) return false;
    GstPad* peer = gst_pad_get_peer(branchInput);
    const bool linked = peer && peer == linkedStream;
    if (peer) gst_object_unref(peer);
    return linked;
}

bool FileGraphBuilder::HeldDataStale() const {
    return holdProbe && branchInput && !StreamLinked();
}

void FileGraphBuilder::Forget() {
    demuxedHandOver.Detach();
    decodedHandOver.Detach();
    unreadStreams.Detach();
    DropHold();
    pipeline = nullptr;
    if (decodeBin) gst_object_unref(decodeBin);
    decodeBin = nullptr;
    for (GstPad** pad : {&branchInput, &linkedStream}) {
        if (*pad) gst_object_unref(*pad);
        *pad = nullptr;
    }
    if (heldPad) gst_object_unref(heldPad);
    heldPad = nullptr;
    if (renderer) gst_object_unref(renderer);
    renderer = nullptr;
    for (GstElement** element : {&rateFilter, &sinkQueue}) {
        if (*element) gst_object_unref(*element);
        *element = nullptr;
    }
    rateFixed = false;
    bytesRead = -1;
    fileSize = -1;
    streamName.clear();
    streams.clear();
    pendingLayout.clear();
    pendingRate = 0;
    if (repairs) repairs->Clear();
    std::lock_guard guard(lock);
    building = padsDone = dataHeld = undecodedAudio = notMedia = noSuchTrack = false;
    audioStreamSeen = otherStreamSeen = false;
    missingPlugin.clear();
    for (AudioPad& audio : audioPads) gst_object_unref(audio.pad);
    audioPads.clear();
    chosen = 0;
    chosenReason.clear();
    failure.reset();
    DropKeptLinks();
    padsSinceReady = 0;
}

bool FileGraphBuilder::RendererIn(GstElement* owner) const {
    return renderer && gst_object_has_as_parent(GST_OBJECT(renderer), GST_OBJECT(owner));
}

double FileGraphBuilder::ByteFraction() const {
    const gint64 read = bytesRead;
    if (fileSize <= 0 || read < 0) return -1.0;
    return std::min(1.0, static_cast<double>(read) / static_cast<double>(fileSize));
}

// On the streaming thread of decodebin: every audio stream is known before one is chosen.
void FileGraphBuilder::AddAudio(GstPad* pad) {
    Relink(pad);
    if (!IsRawAudio(pad)) return;
    AudioStreamDescription description = DescriptionOf(pad);
    // The source's own depth where its codec states it, not what its decoder gives (a deep
    // source may be decoded to floats).
    std::string statedSamples;
    if (GstCaps* coded = CodedCapsBehind(pad)) {
        description.codec = CodecName(coded);
        if (const int bits = FlacStatedBits(coded)) statedSamples = std::to_string(bits) + "-bit";
        gst_caps_unref(coded);
    }
    if (description.codec.empty()) description.codec = "PCM";
    if (!statedSamples.empty()) description.samples = statedSamples;
    std::lock_guard guard(lock);
    if (!building || padsDone) return;
    audioPads.push_back({GST_PAD(gst_object_ref(pad)), description, statedSamples});
}

// The GStreamer calls are made outside `lock`, which the bus handler takes for errors they
// might post.
void FileGraphBuilder::LinkChosenAudio() {
    GstPad* pad = nullptr;
    {
        std::lock_guard guard(lock);
        if (!building || padsDone || audioPads.empty()) return;
        std::vector<AudioStreamDescription> descriptions;
        for (const AudioPad& audio : audioPads) descriptions.push_back(audio.description);
        const std::optional<AudioStreamChoice> choice = ChooseAudioStream(descriptions, wanted);
        if (!choice) {
            failure = "it has " + std::to_string(audioPads.size()) + " audio track" +
                      (audioPads.size() == 1 ? "" : "s") + ", and there is no track " +
                      std::to_string(*wanted + 1);
            noSuchTrack = true;
            changed.notify_all();
            return;
        }
        chosen = choice->index;
        chosenReason = choice->reason;
        pad = audioPads[chosen].pad;
    }
    const GraphOutcome linked = BuildBranch(pad);
    if (linked) return;
    std::lock_guard guard(lock);
    failure = linked.Reason();
    changed.notify_all();
}

GraphOutcome FileGraphBuilder::BuildBranch(GstPad* pad) {
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    // The sink's work (the whole job: channel processing, encoding, writing) runs on the
    // queue's own thread, beside the decoding.
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    GstElement* sink = gst_element_factory_make(kRendererFactory, nullptr);
    if (!sink) sink = gst_element_factory_make(kFallbackRenderer, nullptr);
    if (!convert || !resample || !filter || !queue || !sink) {
        DropFloating({convert, resample, filter, queue, sink});
        return GraphOutcome::Failure("the audio conversion elements are missing");
    }
    gst_util_set_object_arg(G_OBJECT(convert), "dithering", "none");
    gst_util_set_object_arg(G_OBJECT(convert), "noise-shaping", "none");
    GstCaps* caps = gst_caps_from_string(kPcmSink);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_element_set_locked_state(sink, TRUE);

    renderer = GST_ELEMENT(gst_object_ref(sink));
    rateFilter = GST_ELEMENT(gst_object_ref(filter));
    sinkQueue = GST_ELEMENT(gst_object_ref(queue));
    gst_bin_add_many(GST_BIN(pipeline), convert, resample, filter, queue, sink, nullptr);
    if (!gst_element_link_many(convert, resample, filter, queue, sink, nullptr)) {
        return GraphOutcome::Failure("the audio conversion elements could not be linked");
    }
    heldPad = gst_element_get_static_pad(filter, "src");
    holdProbe =
        gst_pad_add_probe(heldPad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM, OnHeldData, this, nullptr);
    gst_element_sync_state_with_parent(queue);
    gst_element_sync_state_with_parent(filter);
    gst_element_sync_state_with_parent(resample);
    gst_element_sync_state_with_parent(convert);
    GstPad* input = gst_element_get_static_pad(convert, "sink");
    gst_segment_init(&decodedSegment, GST_FORMAT_TIME);
    gst_pad_add_probe(input,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      OnDecodedData, this, nullptr);
    const bool linked = gst_pad_link(pad, input) == GST_PAD_LINK_OK;
    if (!linked) {
        gst_object_unref(input);
        return GraphOutcome::Failure("the audio stream could not be connected");
    }
    branchInput = input;
    linkedStream = GST_PAD(gst_object_ref(pad));
    return {};
}

void FileGraphBuilder::OnPadAdded(GstElement*, GstPad* pad, gpointer self) {
    static_cast<FileGraphBuilder*>(self)->AddAudio(pad);
}

// At ready decodebin drops its pads: the ones it makes next are counted from the first.
void FileGraphBuilder::OnPadRemoved(GstElement* decodebin, GstPad*, gpointer self) {
    auto* builder = static_cast<FileGraphBuilder*>(self);
    GST_OBJECT_LOCK(decodebin);
    const bool none = decodebin->numsrcpads == 0;
    GST_OBJECT_UNLOCK(decodebin);
    std::lock_guard guard(builder->lock);
    if (none) builder->padsSinceReady = 0;
}

void FileGraphBuilder::OnNoMorePads(GstElement*, gpointer self) {
    auto* builder = static_cast<FileGraphBuilder*>(self);
    builder->LinkChosenAudio();
    std::lock_guard guard(builder->lock);
    builder->padsDone = true;
    builder->changed.notify_all();
}

// A stream no element could decode: when it is audio, the file is not without audio.
void FileGraphBuilder::OnUnknownType(GstElement*, GstPad*, GstCaps* caps, gpointer self) {
    if (!caps || gst_caps_is_empty(caps) ||
        !g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "audio/")) {
        return;
    }
    auto* builder = static_cast<FileGraphBuilder*>(self);
    std::lock_guard guard(builder->lock);
    builder->undecodedAudio = true;
}

// Data wait here; sticky events are dropped, to be sent again to whatever is linked when the
// data flow. So are gaps before the first data (a stream starting late): the first data's
// time says where the audio starts, and the caps they come with describe the stream, where
// a decoder that met a gap first may have announced a guess.
GstPadProbeReturn FileGraphBuilder::OnHeldData(GstPad*, GstPadProbeInfo* info, gpointer self) {
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_GAP) return GST_PAD_PROBE_DROP;
        // The flag test of GST_EVENT_IS_STICKY, without its mix of two enumeration types.
        const auto type = static_cast<unsigned>(GST_EVENT_TYPE(event));
        const bool sticky = (type & static_cast<unsigned>(GST_EVENT_TYPE_STICKY)) != 0;
        if (sticky && GST_EVENT_TYPE(event) != GST_EVENT_EOS) {
            return GST_PAD_PROBE_DROP;
        }
    }
    auto* builder = static_cast<FileGraphBuilder*>(self);
    std::lock_guard guard(builder->lock);
    builder->dataHeld = true;
    builder->changed.notify_all();
    return GST_PAD_PROBE_OK;
}

// The decoded stream's formats: each is noted, with the stream time of its first buffer.
GstPadProbeReturn FileGraphBuilder::OnDecodedData(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* builder = static_cast<FileGraphBuilder*>(self);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment* segment = nullptr;
            gst_event_parse_segment(event, &segment);
            if (segment) gst_segment_copy_into(segment, &builder->decodedSegment);
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            GstAudioInfo audio;
            if (caps && gst_audio_info_from_caps(&audio, caps)) {
                builder->pendingLayout = LayoutName(audio);
                builder->pendingRate = GST_AUDIO_INFO_RATE(&audio);
            }
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || builder->pendingRate == 0) return GST_PAD_PROBE_OK;
    if (!builder->rateFixed && builder->rateFilter) {
        GstCaps* caps = gst_caps_from_string(kPcmSink);
        gst_caps_set_simple(caps, "rate", G_TYPE_INT, builder->pendingRate, nullptr);
        g_object_set(builder->rateFilter, "caps", caps, nullptr);
        gst_caps_unref(caps);
        builder->rateFixed = true;
    }
    if (!builder->repairs) return GST_PAD_PROBE_OK;
    const guint64 at = gst_segment_to_stream_time(&builder->decodedSegment, GST_FORMAT_TIME,
                                                  GST_BUFFER_PTS(buffer));
    builder->repairs->NoteFormat(builder->pendingLayout, builder->pendingRate,
                                 GST_CLOCK_TIME_IS_VALID(at) ? at : 0);
    builder->pendingRate = 0;
    return GST_PAD_PROBE_OK;
}

// Remembers how far into the file the last read reached.
GstPadProbeReturn FileGraphBuilder::OnSourceBuffer(GstPad*, GstPadProbeInfo* info, gpointer self) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer) return GST_PAD_PROBE_OK;
    guint64 offset = GST_BUFFER_OFFSET(buffer);
    if (offset == GST_BUFFER_OFFSET_NONE) offset = info->offset;
    if (offset != GST_BUFFER_OFFSET_NONE) {
        static_cast<FileGraphBuilder*>(self)->bytesRead =
            static_cast<gint64>(offset + gst_buffer_get_size(buffer));
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace tavrisk
