// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/jobs/RunningJob.h"
#include "engines/OutputEngine.h"
#include "graph/FilterGraphControl.h"
#include "graph/WrapperSink.h"
#include "host/JobHost.h"
#include "sources/GraphPipeSource.h"

namespace tavrisk {

// The pipeline operations a graph job drives. The window's pipeline implements them
// (PipelineDriver); tests drive a job with a scripted one.
class GraphDriver {
  public:
    virtual ~GraphDriver() = default;
    virtual bool RunGraph() = 0;
    virtual bool StopAndRewind() = 0;
    virtual void DrainEvents() = 0;
    virtual bool IsStopped() const = 0;
    virtual std::optional<GraphError> TakeError() = 0;
    virtual double GetDuration() const = 0;
    virtual double ByteFraction() const = 0;
    // Damage the decoders reported and went past since the last call.
    virtual std::vector<DecoderDamage> TakeDecoderDamage() { return {}; }
    // What the stream's decoding went past (none unless the driver knows).
    virtual StreamRepairs::Summary Repairs() const { return {}; }
};

class PipelineDriver : public GraphDriver {
  public:
    explicit PipelineDriver(FilterGraphControl& graph) : graph(graph) {}
    bool RunGraph() override { return graph.RunGraph().Ok(); }
    bool StopAndRewind() override { return graph.StopAndRewind().Ok(); }
    void DrainEvents() override { graph.DrainEvents(); }
    bool IsStopped() const override { return graph.IsStopped(); }
    std::optional<GraphError> TakeError() override { return graph.TakeError(); }
    double GetDuration() const override { return graph.GetDuration(); }
    double ByteFraction() const override { return graph.ByteFraction(); }
    std::vector<DecoderDamage> TakeDecoderDamage() override { return graph.TakeDecoderDamage(); }
    StreamRepairs::Summary Repairs() const override { return graph.Repairs(); }

  private:
    FilterGraphControl& graph;
};

// One job of graph processing. The pipeline pushes the decoded audio into DeliverSamples on
// its streaming thread, where the source gathers blocks and the engine encodes each one as
// soon as it is full; the window's timer (OnTimer) watches the pipeline: it switches from the
// analysis run to the output run when normalising, acts on a stop request, and ends the job
// when the last run is over, after the last, padded block. A pipeline error or a stream that
// stops moving ends the job with a message naming the input.
class GraphJob : public RunningJob, public SampleReceiver {
  public:
    // Ticks without a buffer, while the pipeline runs, after which the job counts as stalled.
    static constexpr int kDefaultStallTicks = 30;
    static constexpr const char* kErrorTitle = "Tavrisk Graph Error";

    // `engine` was initialised with `source`, which the job pushes the stream into.
    GraphJob(JobHost& host, std::unique_ptr<GraphDriver> driver,
             std::unique_ptr<OutputEngine> engine, GraphPipeSource& source, std::string inputName,
             int stallTicks = kDefaultStallTicks);
    ~GraphJob() override;
    GraphJob(const GraphJob&) = delete;
    GraphJob& operator=(const GraphJob&) = delete;

    // Runs the pipeline for the first pass; false (after a message, the job ended) when it
    // refuses to run.
    bool Start();
    // Runs once when the job ends, before the engine is finished: detaches the job from the
    // sink element, so no delivery is in progress or comes later.
    void SetDetach(std::function<void()> detachFromSink) { detach = std::move(detachFromSink); }
    bool OnTimer() override { return Step(true); }
    bool OnPipelineEvent() override { return Step(false); }
    JobOutcome Outcome() const override { return outcome; }
    std::vector<KeptOutput> KeptOutputs() const override { return engine->KeptOutputs(); }
    uint64_t AudioFrames() const override { return engine->FramesRead(); }
    // Runs of the pipeline so far (1 or 2).
    int PassCount() const { return passCount; }

    // Streaming thread.
    void FormatChanged(const StreamFormat& format) override;
    void DeliverSamples(const int16_t* values, std::size_t count,
                        const SampleTiming& timing = {}) override;
    void DeliverFloatSamples(const float* values, std::size_t count,
                             const SampleTiming& timing = {}) override;
    bool PlacesChannelsItself() const override { return true; }

  private:
    // The values of either kind into the source: the analysis pass or the output pass.
    template <typename Value>
    void Deliver(const Value* values, std::size_t count, const SampleTiming& timing);
    // Watches the pipeline: switches runs, acts on a stop request or an error, ends the job
    // once the last run is over. Only timer ticks count towards a stall. True while it runs.
    bool Step(bool timerTick);
    // Fails the job: the message, then the stop request, and the pipeline is stopped.
    void FailJob(const std::string& text);
    // Encodes every block the source holds; false when the engine failed.
    bool EncodeReadyBlocks();
    // The output pass hears of the damage the decoders reported; an analysis pass does not
    // (the output pass meets the same damage again).
    void TakeDecoderDamage();
    // The end of the job: the last block, the engine's Finish, the outcome.
    void End();

    JobHost& host;
    std::unique_ptr<GraphDriver> driver;
    GraphDriver& graph;
    std::unique_ptr<OutputEngine> engine;
    GraphPipeSource* source;  // owned by the engine
    std::string inputName;
    int stallTicks;
    bool normalizing;
    int passCount = 0;  // completed analysis passes
    bool ended = false;
    JobOutcome outcome = JobOutcome::Running;
    // Guards the source and engine between the streaming thread and the timer.
    std::mutex streamMutex;
    std::function<void()> detach;
    std::atomic<bool> failed{false};
    std::atomic<uint64_t> deliveries{0};
    uint64_t deliveriesAtLastTick = 0;
    int quietTicks = 0;
};

}  // namespace tavrisk
