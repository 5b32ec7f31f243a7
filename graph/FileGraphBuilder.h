#pragma once

#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "graph/StreamRepairs.h"

namespace tavrisk {

// Builds a file's graph into an empty pipeline as a player would: filesrc ! decodebin, the
// first audio stream through audioconvert, audioresample and a capsfilter (interleaved
// S16LE at the stream's first rate, its own channels) into an audio sink, each element added
// after the one before it. A later stretch at another rate is thus converted to the first;
// every format the stream arrives in is told to the repairs log with its stream time.
// The sink never plays: it stays in the NULL state and the data are held before it until
// Release. Video, picture and text streams are left undecoded; decoders get dynamic range
// compression off. Used on the pipeline owner's thread, except the callbacks.
class FileGraphBuilder {
  public:
    FileGraphBuilder() = default;
    ~FileGraphBuilder();
    FileGraphBuilder(const FileGraphBuilder&) = delete;
    FileGraphBuilder& operator=(const FileGraphBuilder&) = delete;

    // Takes the pipeline to PAUSED and waits (bounded) until the audio is linked and its
    // first data are held. False with the reason in `error`.
    bool Build(GstElement* pipeline, const std::string& name, std::string& error);
    // From the pipeline's bus handler, on any thread: an error ends a Build in progress.
    void ErrorPosted(const std::string& text);
    // Lets the held data flow on to whatever is now linked after the capsfilter.
    void Release();
    // Drops every reference to the last build.
    void Forget();
    // Where the formats the stream arrives in are noted (null: nowhere).
    void ReportFormatsTo(StreamRepairs* log) { repairs = log; }

    // True while the file's own renderer is still in the pipeline.
    bool RendererIn(GstElement* pipeline) const;
    // "audio stream 1 of N: <layout>, <rate> Hz, <decoder>", or "".
    const std::string& StreamName() const { return streamName; }
    // Share of the file read so far; negative when unknown.
    double ByteFraction() const;

  private:
    static void OnPadAdded(GstElement*, GstPad* pad, gpointer self);
    static void OnNoMorePads(GstElement*, gpointer self);
    static GstPadProbeReturn OnHeldData(GstPad*, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn OnSourceBuffer(GstPad*, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn OnDecodedData(GstPad*, GstPadProbeInfo* info, gpointer self);
    void LinkAudio(GstPad* pad);
    std::optional<std::string> BuildBranch(GstPad* pad);
    bool WaitForAudio(std::string& error);

    GstElement* pipeline = nullptr;  // borrowed, from Build to Forget
    GstElement* renderer = nullptr;  // references of our own
    GstPad* heldPad = nullptr;
    gulong holdProbe = 0;
    std::atomic<gint64> bytesRead{-1};
    gint64 fileSize = -1;
    std::string streamName;
    StreamRepairs* repairs = nullptr;
    // The decoded stream's format and segment, on its streaming thread; a format is noted
    // with the first buffer after it.
    GstSegment decodedSegment{};
    std::string pendingLayout;
    int pendingRate = 0;

    // Shared with the streaming threads while Build waits.
    std::mutex lock;
    std::condition_variable changed;
    bool building = false;
    bool padsDone = false;
    bool dataHeld = false;
    int audioStreams = 0;
    std::string firstStream;
    std::optional<std::string> failure;
};

}  // namespace tavrisk
