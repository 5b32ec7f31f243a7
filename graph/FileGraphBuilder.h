#pragma once

#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace tavrisk {

// Builds a file's graph into an empty pipeline as a player would: filesrc ! decodebin, the
// first audio stream through audioconvert and a capsfilter (interleaved S16LE, the stream's
// own rate and channels) into an audio sink, each element added after the one before it.
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
