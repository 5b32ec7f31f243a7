// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "graph/AudioStreamChoice.h"
#include "graph/GraphOutcome.h"
#include "graph/QueueHandOver.h"
#include "graph/StreamRepairs.h"
#include "graph/UnreadStreamDrop.h"

namespace tavrisk {

// Builds a file's graph into an empty pipeline as a player would: filesrc ! decodebin, the
// chosen audio stream (ChooseAudioStream, once every stream is known) through audioconvert,
// audioresample and a capsfilter (interleaved S16LE for a 16-bit stream, F32LE for a deeper
// one, at the stream's first rate, its own channels) into an audio sink, each element added after
// the one before it. A later stretch at another rate is thus converted to the first; every format
// the stream arrives in is told to the repairs log with its stream time. The sink never plays: it
// stays in the NULL state and the data are held before it until Release. Video, picture and text
// streams are left undecoded; decoders get dynamic range compression off. Used on the pipeline
// owner's thread, except the callbacks.
class FileGraphBuilder {
  public:
    FileGraphBuilder() = default;
    ~FileGraphBuilder();
    FileGraphBuilder(const FileGraphBuilder&) = delete;
    FileGraphBuilder& operator=(const FileGraphBuilder&) = delete;

    // Takes the pipeline to PAUSED and waits (bounded) until the audio is linked and its
    // first data are held. A failure tells its reason and its kind.
    GraphOutcome Build(GstElement* pipeline, const std::string& name);
    // From the pipeline's bus handler, on any thread: an error ends a Build in progress.
    // `notMedia`: the file's type was not found, or its container could not be read.
    void ErrorPosted(const std::string& text, bool notMedia);
    // On a streaming thread: the file holds a stream, audio or not.
    void StreamFound(bool audio);
    // From the bus handler: a plugin the file needs is not installed (GStreamer's description
    // of it, "TTA decoder" say).
    void PluginMissing(const std::string& description);
    // Lets the held data flow on to whatever is now linked after the capsfilter. The chosen
    // stream leaves its demuxer's queue, and the decoded data the queue before the sink, in
    // steps of many buffers (QueueHandOver).
    void Release();
    // True while data are held that came from a stream no longer linked into the conversion
    // (the graph was rewired by hand since it was built).
    bool HeldDataStale() const;
    // Before the pipeline goes back to ready: decodebin then drops its pads, and makes new ones
    // when the pipeline starts again. Each new pad is linked where the one in its place (the
    // first of the file's streams, the second, ...) was linked now. The new pads are not paced
    // (Release), nor are the unread ones dropped.
    void KeepDecodedLinks();
    // Drops every reference to the last build.
    void Forget();
    // Where the formats the stream arrives in are noted (null: nowhere).
    void ReportFormatsTo(StreamRepairs* log) { repairs = log; }

    // True while the file's own renderer is still in the pipeline.
    bool RendererIn(GstElement* pipeline) const;
    // The audio track the next Build connects (0-based; nothing: ChooseAudioStream's rule).
    void WantStream(std::optional<std::size_t> index) { wanted = index; }
    // "audio track K of N: <layout>, <rate> Hz, <decoder> (<why it was chosen>)", or "".
    const std::string& StreamName() const { return streamName; }
    // Every decodable audio stream of the last Build, in the file's order.
    const std::vector<AudioStreamDescription>& Streams() const { return streams; }
    // The index of the stream connected by the last Build.
    std::size_t ChosenStream() const { return chosen; }
    // Share of the file read so far; negative when unknown.
    double ByteFraction() const;

  private:
    static void OnPadAdded(GstElement*, GstPad* pad, gpointer self);
    static void OnNoMorePads(GstElement*, gpointer self);
    static void OnPadRemoved(GstElement* decodebin, GstPad*, gpointer self);
    static void OnUnknownType(GstElement*, GstPad*, GstCaps* caps, gpointer self);
    static GstPadProbeReturn OnHeldData(GstPad*, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn OnSourceBuffer(GstPad*, GstPadProbeInfo* info, gpointer self);
    struct AudioPad {
        GstPad* pad;  // a reference of our own
        AudioStreamDescription description;
        std::string statedSamples;  // the depth the codec states ("24-bit"), or ""
    };
    void AddAudio(GstPad* pad);
    void LinkChosenAudio();
    static GstPadProbeReturn OnDecodedData(GstPad*, GstPadProbeInfo* info, gpointer self);
    GraphOutcome BuildBranch(GstPad* pad);
    GraphOutcome WaitForAudio();
    void DropHold();
    // True while the chosen stream is what feeds the conversion.
    bool StreamLinked() const;
    // On a streaming thread, for a pad decodebin made after it was back at ready: links it
    // as KeepDecodedLinks found the one in its place.
    void Relink(GstPad* pad);
    void DropKeptLinks();

    GstElement* pipeline = nullptr;  // borrowed, from Build to Forget
    GstElement* decodeBin = nullptr;  // references of our own
    GstElement* renderer = nullptr;
    GstElement* rateFilter = nullptr;
    GstElement* sinkQueue = nullptr;
    GstPad* heldPad = nullptr;
    GstPad* branchInput = nullptr;  // the conversion's input, linked to the chosen stream
    GstPad* linkedStream = nullptr;
    gulong holdProbe = 0;
    QueueHandOver demuxedHandOver;
    QueueHandOver decodedHandOver;
    UnreadStreamDrop unreadStreams;
    std::atomic<gint64> bytesRead{-1};
    gint64 fileSize = -1;
    std::string streamName;
    std::vector<AudioStreamDescription> streams;
    std::optional<std::size_t> wanted;
    StreamRepairs* repairs = nullptr;
    // The decoded stream's format and segment, on its streaming thread; a format is noted
    // with the first buffer after it.
    GstSegment decodedSegment{};
    std::string pendingLayout;
    int pendingRate = 0;
    // The capsfilter holds the rate of the first data (not of a decoder's early guess) once
    // they pass: a later stretch at another rate is converted to it.
    bool rateFixed = false;

    // Shared with the streaming threads while Build waits.
    std::mutex lock;
    std::condition_variable changed;
    bool building = false;
    bool padsDone = false;
    bool dataHeld = false;
    bool undecodedAudio = false;  // an audio stream no decoder took
    bool audioStreamSeen = false;  // streams the container holds, by kind
    bool otherStreamSeen = false;
    std::vector<AudioPad> audioPads;
    std::size_t chosen = 0;
    std::string chosenReason;
    std::optional<std::string> failure;
    bool notMedia = false;
    std::string missingPlugin;
    bool noSuchTrack = false;
    // The peers of decodebin's pads, in the pads' order, when it went back to ready (null
    // where one was not linked; references of our own), and how many pads it has made since
    // it last had none.
    std::vector<GstPad*> keptPeers;
    std::size_t padsSinceReady = 0;
};

}  // namespace tavrisk
