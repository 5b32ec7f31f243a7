// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "graph/Ac3DecoderElement.h"
#include "graph/FileGraphBuilder.h"
#include "graph/GraphOutcome.h"
#include "graph/StreamRepairs.h"

namespace tavrisk {

// A failure the pipeline reported: the element that failed and what it said.
struct GraphError {
    std::string element;  // the element's long name (its factory's), or its name
    std::string text;
    bool notMedia = false;  // the file's type was not found, or its container not read
};

// Damage a decoder reported and went past (a warning on the bus): where, on the programme's
// clock in nanoseconds of running time (none when it cannot be told), and how many frames.
struct DecoderDamage {
    std::optional<uint64_t> atNs;
    int frames = 1;
};

// The pipeline of the graph editor and of a graph job. Element = filter, pad = pin. It shows
// no messages: each operation that can fail tells why, and callers report it in their own
// words. Used on one thread (the window's);
// only the notify function is called from others.
class FilterGraphControl {
  public:
    FilterGraphControl();
    ~FilterGraphControl();
    FilterGraphControl(const FilterGraphControl&) = delete;
    FilterGraphControl& operator=(const FilterGraphControl&) = delete;

    // Creates an empty pipeline. `notify` is called from any thread whenever a message of the
    // pipeline waits, once it waits: the owner then calls DrainEvents on its own thread.
    GraphOutcome CreateGraph(std::function<void()> notify = {});
    void ReleaseGraph();
    bool HasGraph() const;
    GstElement* Pipeline() const;

    // Builds the file's graph, as a player would: filesrc ! decodebin, the chosen audio
    // stream (ChooseAudioStream) through audioconvert (dithering and noise shaping off) and a
    // capsfilter (interleaved S16LE, or F32LE for a stream deeper than 16 bits, at the stream's
    // own rate and channels) into an audio sink, the renderer, added last. Other streams are left
    // unlinked and undecoded. Synchronous; leaves the graph stopped at its start. A failure tells
    // its reason and its kind.
    GraphOutcome RenderFile(const std::string& name);
    // The name of the audio stream that was connected, for the status line ("" when none).
    const std::string& RenderedStream() const;
    // The audio track the next RenderFile connects (0-based; nothing: ChooseAudioStream's
    // rule), the tracks of the last one that rendered and the index of the connected one.
    void WantStream(std::optional<std::size_t> index);
    const std::vector<AudioStreamDescription>& RenderedStreams() const;
    std::size_t ChosenStream() const;

    // Plays from the current position, from the start after an end or an error; fails when
    // the pipeline refuses.
    GraphOutcome RunGraph();
    // Stops and rewinds to the start; the graph is then stopped.
    GraphOutcome StopAndRewind();
    // Takes a stopped graph back to ready, where no streaming thread is held and files are
    // closed; the file's decoded streams are linked as they are now when it runs again.
    void LeavePreroll();
    // Handles the bus messages waiting: end of stream stops the graph, and the next run
    // rewinds it first; an error is kept (TakeError) and stops it the same way.
    void DrainEvents();
    bool IsStopped() const;
    // The first error since the last RunGraph, once.
    std::optional<GraphError> TakeError();
    // The damage decoders reported since the last call (or RunGraph), in order. Noted on
    // the thread that posts the warning, where the decoder's own clock is known.
    std::vector<DecoderDamage> TakeDecoderDamage();

    // Length and position of the stream in seconds; 0 when unknown.
    double GetDuration() const;
    double GetPosition() const;
    // Share of the input file read so far (0..1) when time is unknown; negative when unknown.
    double ByteFraction() const;
    // What the stream's decoding went past since the file was rendered: damaged frames
    // replaced by silence, stretches in another format.
    StreamRepairs::Summary Repairs() const;

    // --- Editing -----------------------------------------------------------------------
    // The pipeline takes a reference of its own; the element keeps its state in step.
    GraphOutcome AddGraphFilter(GstElement* element);
    // Unlinks and removes the element (the caller's references stay valid); fails when the
    // count did not drop by one.
    GraphOutcome RemoveGraphFilter(GstElement* element);
    int CountFilters() const;
    // The pipeline's elements in their enumeration order (borrowed pointers).
    std::vector<GstElement*> Filters() const;
    GraphOutcome ConnectPins(GstPad* output, GstPad* input);
    GraphOutcome DisconnectPin(GstPad* pad);
    // Removes every element.
    void Clear();

  private:
    struct State;
    State* state;
};

}  // namespace tavrisk
