// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "graph/FilterGraphControl.h"
#include "graph/WrapperSink.h"

namespace tavrisk::test {

// Keeps what the wrapper hands over: every format it announced and, while `keepSamples` is
// set, the values themselves (else only their count). Float values are kept as they came and
// as the 16-bit values the channel processing rounds them to.
class CollectingReceiver : public SampleReceiver {
  public:
    void FormatChanged(const StreamFormat& format) override;
    void DeliverSamples(const int16_t* values, std::size_t count,
                        const SampleTiming& timing) override;
    void DeliverFloatSamples(const float* values, std::size_t count,
                             const SampleTiming& timing) override;

    void KeepSamples(bool keep);
    void ResetCount();
    StreamFormat Format() const;
    int FormatCalls() const;
    std::size_t Count() const;
    // Calls that delivered values.
    int Deliveries() const;
    std::vector<int16_t> Samples() const;
    std::vector<float> FloatSamples() const;

  private:
    mutable std::mutex lock;
    StreamFormat format;
    int formatCalls = 0;
    bool keepSamples = true;
    std::size_t count = 0;
    int deliveries = 0;
    std::vector<int16_t> samples;
    std::vector<float> floatSamples;
};

// A pipeline driven the way the window drives it: render a file, put the wrapper in place of
// the last element (the renderer) linked to the one before it, run to the end while draining
// the bus whenever it notifies.
class GraphRun {
  public:
    enum class Outcome { kEnded, kFailed, kTimedOut };

    GraphRun();
    ~GraphRun();

    FilterGraphControl& Graph() { return graph; }
    GraphOutcome Render(const std::string& path);
    // The elements in order of addition.
    std::vector<GstElement*> Rows() const;
    // Replaces the renderer by a new wrapper attached to `receiver`; false on any failure.
    bool ReplaceRenderer(SampleReceiver& receiver);
    GstElement* Wrapper() const { return wrapper; }
    Outcome RunToEnd(std::chrono::seconds limit);
    // The error that ended the last run, if any.
    const std::optional<GraphError>& LastError() const { return lastError; }

  private:
    FilterGraphControl graph;
    GstElement* wrapper = nullptr;
    std::optional<GraphError> lastError;
    std::mutex lock;
    std::condition_variable woken;
    bool messagesWaiting = false;
};

}  // namespace tavrisk::test
