// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/jobs/GraphJob.h"
#include "engines/WavEngine.h"
#include "tests/support/FakeJobHost.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

constexpr std::size_t kBlock = SampleBlock::kFrames;

// A pipeline run by script: each run calls `onRun` (which delivers samples as the streaming
// thread would) and then ends, unless `endRuns` is off; errors are handed out once.
class ScriptedGraph : public GraphDriver {
  public:
    bool RunGraph() override {
        if (refuseRun) return false;
        ++runs;
        stopped = false;
        if (onRun) onRun(runs);
        endPending = endRuns;
        return true;
    }
    bool StopAndRewind() override {
        ++stops;
        stopped = true;
        return true;
    }
    void DrainEvents() override {
        if (endPending) stopped = true;
        endPending = false;
    }
    bool IsStopped() const override { return stopped; }
    std::optional<GraphError> TakeError() override {
        std::optional<GraphError> taken = error;
        error.reset();
        return taken;
    }
    double GetDuration() const override { return duration; }
    std::vector<DecoderDamage> TakeDecoderDamage() override { return std::move(damage); }
    double ByteFraction() const override { return -1.0; }

    std::function<void(int run)> onRun;
    double duration = 0.0;  // unknown, as for a raw stream
    std::vector<DecoderDamage> damage;
    bool endRuns = true;
    bool refuseRun = false;
    std::optional<GraphError> error;
    int runs = 0;
    int stops = 0;

  private:
    bool stopped = true;
    bool endPending = false;
};

// A WAV engine that asks for a stop at its n-th block fetch, or (0) as it finishes.
class StoppingWavEngine : public WavEngine {
  public:
    explicit StoppingWavEngine(JobHost& host) : WavEngine(host), host(host) {}
    bool FetchBlock() override {
        if (++fetches == stopAt) host.RequestStop();
        return WavEngine::FetchBlock();
    }
    bool Finish() override {
        if (stopAt == 0) host.RequestStop();
        return WavEngine::Finish();
    }
    int stopAt = -1;

  private:
    JobHost& host;
    int fetches = 0;
};

class GraphJobTest : public ::testing::Test {
  protected:
    // A job writing a six-channel WAV from what the scripted graph delivers.
    void MakeJob(int stallTicks = GraphJob::kDefaultStallTicks) {
        auto engine = std::make_unique<StoppingWavEngine>(host);
        hooked = engine.get();
        auto pipe = std::make_unique<GraphPipeSource>(host, host.Settings());
        GraphPipeSource& source = *pipe;
        engine->SetSource(std::move(pipe));
        const std::string input = "in.vob", output = dir.File("out.wav");
        ASSERT_TRUE(engine->Init(host.Settings(input, output)));
        auto driver = std::make_unique<ScriptedGraph>();
        graph = driver.get();
        job = std::make_unique<GraphJob>(host, std::move(driver), std::move(engine), source, input,
                                         stallTicks);
        job->SetDetach([this] { ++detaches; });
    }
    // Delivers `frames` frames of a 5.1 stream in buffers of 1536 frames.
    void Deliver(std::size_t frames) {
        job->FormatChanged({48000, 6, true, "5.1", true});
        std::vector<int16_t> values(frames * 6, 1000);
        for (std::size_t at = 0; at < values.size(); at += 1536 * 6)
            job->DeliverSamples(values.data() + at,
                                std::min<std::size_t>(1536 * 6, values.size() - at));
    }
    // Ticks until the job ends; the number of ticks.
    int TicksToEnd(int limit = 10) {
        for (int tick = 1; tick <= limit; ++tick)
            if (!job->OnTimer()) return tick;
        return -1;
    }
    std::size_t OutputFrames() { return test::ReadWav(dir.File("out.wav")).Frames(); }
    const std::string& LastMessage() { return host.messages.back().text; }

    test::TempDir dir;
    test::FakeJobHost host;
    ScriptedGraph* graph = nullptr;
    StoppingWavEngine* hooked = nullptr;
    std::unique_ptr<GraphJob> job;
    int detaches = 0;
};

TEST_F(GraphJobTest, OneRunEndsTheJobAtTheFirstTickAfterItsEndWithTheLastBlockPadded) {
    MakeJob();
    graph->onRun = [this](int) { Deliver(2 * kBlock + 100); };
    ASSERT_TRUE(job->Start());
    EXPECT_EQ(TicksToEnd(), 1);
    EXPECT_EQ(job->Outcome(), JobOutcome::Done);
    EXPECT_EQ(host.progress.back(), 100.0f);
    EXPECT_EQ(graph->runs, 1);
    EXPECT_EQ(detaches, 1);
    EXPECT_EQ(OutputFrames(), 3 * kBlock);
    EXPECT_TRUE(host.StopRequested());  // no job runs any more
    EXPECT_TRUE(host.messages.empty());
}

// Damage the decoders reported in the output run, and a stream that ends before its stated
// length, are told once at the end: the job completes with warnings. What the analysis run
// met is not counted again.
TEST_F(GraphJobTest, DecoderDamageAndAnEarlyEndAreToldOnceAsWarnings) {
    host.channels.normalize = true;
    MakeJob();
    graph->duration = 2.0;
    graph->onRun = [this](int) {
        Deliver(3 * kBlock);
        graph->damage = {{uint64_t{9'600'000'000}, 2}, {std::nullopt, 1}};
    };
    ASSERT_TRUE(job->Start());
    EXPECT_EQ(TicksToEnd(), 2);
    EXPECT_EQ(job->Outcome(), JobOutcome::DoneWithWarnings);
    ASSERT_EQ(host.warnings.size(), 1u);
    EXPECT_EQ(host.warnings[0].text,
              "'in.vob' was read to its end, short of its stated length:\n"
              "3 damaged frames replaced by silence, the first at 00:00:00.07\n"
              "input ended at 0:00.0 of 0:02.0");
    EXPECT_EQ(OutputFrames(), 3 * kBlock);
}

TEST_F(GraphJobTest, NormalisationRunsTheGraphTwiceAndTheSecondRunStartsAtFiftyPercent) {
    host.channels.normalize = true;
    MakeJob();
    graph->onRun = [this](int) { Deliver(3 * kBlock); };
    ASSERT_TRUE(job->Start());
    EXPECT_TRUE(job->OnTimer());  // the analysis run is over: the output run starts
    EXPECT_EQ(graph->runs, 2);
    ASSERT_FALSE(host.resets.empty());
    EXPECT_EQ(host.resets.back(), 50.0f);
    EXPECT_FALSE(job->OnTimer());
    EXPECT_EQ(job->Outcome(), JobOutcome::Done);
    EXPECT_EQ(OutputFrames(), 3 * kBlock);  // the analysis run wrote nothing
    for (float p : host.progress) EXPECT_GE(p, 0.0f);
}

TEST_F(GraphJobTest, AStopDuringTheAnalysisRunEndsTheJobAtTheFourthTick) {
    host.channels.normalize = true;
    MakeJob();
    graph->endRuns = false;
    ASSERT_TRUE(job->Start());
    host.RequestStop();
    EXPECT_EQ(TicksToEnd(), 4);  // stop; output run (dropped); stop; end
    EXPECT_EQ(graph->runs, 2);
    EXPECT_EQ(graph->stops, 2);
    EXPECT_EQ(job->Outcome(), JobOutcome::Stopped);
}

TEST_F(GraphJobTest,
       APipelineErrorEndsTheJobNamingTheFileAndKeepsThePartialOutputBesideTheEarlier) {
    test::WriteBytes(dir.File("out.wav"), {7, 7, 7});
    MakeJob();
    graph->endRuns = false;
    graph->onRun = [this](int) { Deliver(2 * kBlock); };
    ASSERT_TRUE(job->Start());
    graph->error = GraphError{"MPEG-PS demuxer", "Internal data stream error."};
    EXPECT_EQ(TicksToEnd(), 1);
    EXPECT_EQ(job->Outcome(), JobOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text,
              "Cannot read 'in.vob': MPEG-PS demuxer failed: Internal data stream error.");
    EXPECT_EQ(host.messages[0].title, GraphJob::kErrorTitle);
    EXPECT_EQ(LastMessage(), "The job failed: the output written so far is kept as '" +
                                 dir.File("out.partial.wav") + "'; the earlier '" +
                                 dir.File("out.wav") + "' is unchanged.");
    EXPECT_EQ(test::ReadBytes(dir.File("out.wav")), std::vector<uint8_t>({7, 7, 7}));
    EXPECT_EQ(test::ReadWav(dir.File("out.partial.wav")).Frames(), 2 * kBlock);
}

TEST_F(GraphJobTest, AStopWhileBlocksAreTakenIsAStopAndOneWhileTheOutputIsClosedChangesNothing) {
    // Two whole blocks come from the stream, the padded third one from the end of the job.
    const struct {
        int stopAt;
        JobOutcome outcome;
        std::size_t frames;
        const char* kept;
    } cases[] = {{2, JobOutcome::Stopped, kBlock, "out.partial.wav"},  // the stream's 2nd block
                 {3, JobOutcome::Done, 3 * kBlock, "out.wav"},         // the last, padded one
                 {0, JobOutcome::Done, 3 * kBlock, "out.wav"}};        // closing the output
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stopAt);
        test::WriteBytes(dir.File("out.wav"), {7, 7, 7});
        host.ClearStop();
        MakeJob();
        hooked->stopAt = c.stopAt;
        graph->onRun = [this](int) { Deliver(2 * kBlock + 100); };
        ASSERT_TRUE(job->Start());
        TicksToEnd();
        EXPECT_EQ(job->Outcome(), c.outcome);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(test::ReadWav(dir.File(c.kept)).Frames(), c.frames) << "a whole, readable WAV";
        EXPECT_EQ(test::ReadBytes(dir.File("out.wav")).size(),
                  c.outcome == JobOutcome::Stopped ? 3u : 68 + 3 * kBlock * 12);
        job.reset();
    }
}

TEST_F(GraphJobTest, AGraphThatDeliversNothingForLongIsStoppedAsStalled) {
    MakeJob(3);
    graph->endRuns = false;
    ASSERT_TRUE(job->Start());
    EXPECT_EQ(TicksToEnd(), 4);
    EXPECT_EQ(job->Outcome(), JobOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(LastMessage().find("delivered nothing for 3 s"), std::string::npos);
}

// The window hears of the pipeline's messages between ticks: an ended run is acted on at
// once (the analysis run's end starts the output run, the output run's end ends the job),
// and messages while the stream runs never count towards a stall.
TEST_F(GraphJobTest, APipelineMessageActsOnAnEndedRunAtOnceAndNeverCountsAsAStall) {
    host.channels.normalize = true;
    MakeJob(1);
    graph->endRuns = false;
    graph->onRun = [this](int) { Deliver(2 * kBlock); };
    ASSERT_TRUE(job->Start());
    for (int message = 0; message < 3; ++message) EXPECT_TRUE(job->OnPipelineEvent());
    EXPECT_TRUE(host.messages.empty());
    graph->StopAndRewind();  // the analysis run reached its end
    EXPECT_TRUE(job->OnPipelineEvent());
    EXPECT_EQ(graph->runs, 2);
    graph->StopAndRewind();  // and the output run
    EXPECT_FALSE(job->OnPipelineEvent());
    EXPECT_EQ(job->Outcome(), JobOutcome::Done);
    EXPECT_EQ(OutputFrames(), 2 * kBlock);
}

TEST_F(GraphJobTest, AStreamWhoseChannelsCannotBePlacedIsRefusedAndNothingIsWritten) {
    MakeJob();
    graph->endRuns = false;
    graph->onRun = [this](int) {
        job->FormatChanged({48000, 2, true, "2 channels"});
        std::vector<int16_t> values(4 * kBlock * 2, 500);
        job->DeliverSamples(values.data(), values.size());
    };
    ASSERT_TRUE(job->Start());
    EXPECT_EQ(TicksToEnd(), 2);  // the stop, then the end
    EXPECT_EQ(job->Outcome(), JobOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(LastMessage().find("2 channels whose positions are not known"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav")));
}

TEST_F(GraphJobTest, AGraphThatRefusesToRunFailsAtOnce) {
    MakeJob();
    graph->refuseRun = true;
    EXPECT_FALSE(job->Start());
    EXPECT_EQ(job->Outcome(), JobOutcome::Failed);
    EXPECT_EQ(detaches, 1);
    EXPECT_NE(LastMessage().find("'in.vob' could not be started"), std::string::npos);
    EXPECT_FALSE(job->OnTimer());
}

}  // namespace
}  // namespace tavrisk
