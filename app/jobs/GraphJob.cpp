// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/jobs/GraphJob.h"

#include "app/jobs/KeptOutputs.h"

namespace tavrisk {

namespace {

constexpr float kOutputPassStart = 50.0f;
constexpr float kFullProgress = 100.0f;

}  // namespace

GraphJob::GraphJob(JobHost& host, std::unique_ptr<GraphDriver> driver,
                   std::unique_ptr<OutputEngine> engine, GraphPipeSource& streamSource,
                   std::string inputName, int stallTicks)
    : host(host),
      driver(std::move(driver)),
      graph(*this->driver),
      engine(std::move(engine)),
      source(&streamSource),
      inputName(std::move(inputName)),
      stallTicks(stallTicks),
      // Read once: the switch in the window may change while the job runs.
      normalizing(streamSource.Processor().NormalizeEnabled()) {}

GraphJob::~GraphJob() {
    if (!ended) {
        host.RequestStop();
        graph.StopAndRewind();
        End();
    }
}

bool GraphJob::Start() {
    passCount = 0;
    if (graph.RunGraph()) {
        // Known from the start where the container states it, so that a job shorter than a
        // tick shows its progress too.
        source->SetProgressBasis(graph.GetDuration(), graph.ByteFraction());
        return true;
    }
    FailJob("The filter graph of '" + inputName + "' could not be started.");
    End();
    return false;
}

void GraphJob::FailJob(const std::string& text) {
    if (!failed.exchange(true)) host.MessageBox(text, kErrorTitle);
    host.RequestStop();
}

void GraphJob::FormatChanged(const StreamFormat& format) {
    const std::lock_guard lock(streamMutex);
    if (failed || host.StopRequested()) return;
    if (!source->AcceptFormat(format.rate, format.channels, format.s16 || format.f32,
                              format.layoutName, format.placed, format.mapping)) {
        // The source showed why.
        failed = true;
        host.RequestStop();
        return;
    }
    source->SetInputOrder(format.slotInFrame.value_or(ProcessingChain::kUsualInputOrder));
}

void GraphJob::DeliverSamples(const int16_t* values, std::size_t count,
                              const SampleTiming& timing) {
    Deliver(values, count, timing);
}

void GraphJob::DeliverFloatSamples(const float* values, std::size_t count,
                                   const SampleTiming& timing) {
    Deliver(values, count, timing);
}

template <typename Value>
void GraphJob::Deliver(const Value* values, std::size_t count, const SampleTiming& timing) {
    deliveries.fetch_add(1, std::memory_order_relaxed);
    if (host.StopRequested() || failed) return;
    const std::lock_guard lock(streamMutex);
    source->SetSegment(timing.endNs, timing.startOffsetNs);
    if (normalizing && passCount == 0) {
        source->PushAnalysisSamples(values, count, timing.startNs);
        host.UpdateProgress(source->CurrentPercent(), false);
        return;
    }
    if (!source->PushSamples(values, count, timing.startNs,
                             [this] { return EncodeReadyBlocks(); }) ||
        !EncodeReadyBlocks()) {
        // A stop that came while the blocks were taken ends the reading as a stop; only an
        // error of the engine or the source fails the job.
        if (!host.StopRequested() || engine->Failed() || !source->LastError().empty())
            failed = true;
        host.RequestStop();
        return;
    }
}

bool GraphJob::EncodeReadyBlocks() {
    while (source->BlockReady()) {
        if (!engine->FetchBlock() || !engine->EncodeBlock()) return false;
        host.UpdateProgress(source->CurrentPercent(), false);
    }
    return true;
}

void GraphJob::TakeDecoderDamage() {
    const std::vector<DecoderDamage> damage = graph.TakeDecoderDamage();
    if (damage.empty() || (normalizing && passCount == 0)) return;
    const std::lock_guard lock(streamMutex);
    for (const DecoderDamage& place : damage) source->NoteDecoderDamage(place.atNs, place.frames);
}

bool GraphJob::Step(bool timerTick) {
    if (ended) return false;
    graph.DrainEvents();
    TakeDecoderDamage();
    if (std::optional<GraphError> error = graph.TakeError()) {
        FailJob("Cannot read '" + inputName + "': " + error->element + " failed: " + error->text);
        graph.StopAndRewind();
    }
    source->SetProgressBasis(graph.GetDuration(), graph.ByteFraction());

    if (graph.IsStopped()) {
        if (normalizing && passCount == 0 && !failed) {
            // The analysis run is over: the gains, then the output run from the start.
            {
                const std::lock_guard lock(streamMutex);
                if (!source->EndAnalysis()) failed = true;
                passCount = 1;
            }
            host.UpdateProgress(kOutputPassStart, true);
            if (!failed && !graph.RunGraph())
                FailJob("The filter graph of '" + inputName + "' could not be started again.");
            if (!failed) return true;
        }
        End();
        return false;
    }
    if (host.StopRequested()) {
        // Asked to stop (or failed on the streaming thread): a later tick ends the job.
        graph.StopAndRewind();
        return true;
    }
    if (!timerTick) return true;
    const uint64_t seen = deliveries.load(std::memory_order_relaxed);
    quietTicks = seen == deliveriesAtLastTick ? quietTicks + 1 : 0;
    deliveriesAtLastTick = seen;
    if (quietTicks >= stallTicks) {
        FailJob("Cannot read '" + inputName + "': the filter graph delivered nothing for " +
                std::to_string(stallTicks) + " s and was stopped.");
        graph.StopAndRewind();
    }
    return true;
}

void GraphJob::End() {
    if (ended) return;
    ended = true;
    if (detach) detach();
    const bool stoppedByUser = host.StopRequested() && !failed;
    bool ok = !failed;
    TakeDecoderDamage();
    {
        const std::lock_guard lock(streamMutex);
        if (ok && !stoppedByUser) {
            // The end of the stream: what it overcame is told, and the frames still held
            // make the last, padded block.
            const StreamRepairs::Summary repairs = graph.Repairs();
            for (const StreamRepairs::Stretch& stretch : repairs.stretches)
                source->NoteFormatStretch(stretch.layout, stretch.rate, stretch.at);
            source->NoteLibraryMessages(repairs.libraryMessages);
            source->NoteInputDamage(repairs.inputDamage);
            source->FinishInput();
            while (engine->FetchBlock()) {
                if (!engine->EncodeBlock()) break;
            }
            if (!source->LastError().empty()) ok = false;
        }
        if (!ok) engine->MarkJobFailed();
        if (!engine->Finish() || engine->Failed()) ok = false;
    }
    if (!ok) ReportFailedJobOutputs(host, engine->KeptOutputs());
    host.RequestStop();
    if (!ok)
        outcome = JobOutcome::Failed;
    else if (stoppedByUser)
        outcome = JobOutcome::Stopped;
    else if (source->ReportedWarnings())
        outcome = JobOutcome::DoneWithWarnings;
    else
        outcome = JobOutcome::Done;
    // The whole stream was read: whatever the length the container stated.
    if (outcome == JobOutcome::Done || outcome == JobOutcome::DoneWithWarnings) {
        host.UpdateProgress(kFullProgress, false);
        if (source->LoudnessMeasured()) host.ReportLoudness(source->Loudness());
    }
}

}  // namespace tavrisk
