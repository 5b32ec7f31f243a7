// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

#include "dsp/Resampler.h"
#include "sources/SampleSource.h"
#include "tests/support/BlockFrames.h"
#include "tests/support/FakeJobHost.h"

namespace tavrisk {
namespace {

// A source of `total` input frames delivered in runs of `runFrames`; frame n holds
// (n + 1) x 10 in 16-bit units on every channel, or 1000 x (k + 1) on channel k when
// `distinct` is set.
class SyntheticSource : public SampleSource {
  public:
    SyntheticSource(test::FakeJobHost& host, Behaviour behaviour, std::size_t total,
                    bool readAhead = false)
        : SampleSource(host, host.Settings(), behaviour), total(total) {
        if (readAhead) ReadInputAhead();
    }
    ~SyntheticSource() override { Close(); }
    void Close() override { StopReading(); }

    std::size_t runFrames = 1000;
    bool readElsewhere = false;  // a run was read on another thread than the one that made it
    bool distinct = false;
    bool failAt = false;  // fail instead of ending
    std::size_t framesRead = 0;
    int rewinds = 0;

    static Behaviour Padded() {
        return {.appliesResync = true, .lastBlock = LastBlock::kPaddedAlways};
    }
    static Behaviour Plain() { return {.appliesResync = false, .lastBlock = LastBlock::kPadded}; }

  protected:
    bool OpenInput() override { return true; }
    InputStatus ReadInput(InputRun& run) override {
        readElsewhere = readElsewhere || std::this_thread::get_id() != maker;
        if (framesRead == total) {
            if (failAt) {
                Fail("broken", "Test");
                return InputStatus::kFailed;
            }
            return InputStatus::kEnd;
        }
        const std::size_t count = std::min(runFrames, total - framesRead);
        buffer.resize(count * kChannels);
        for (std::size_t i = 0; i < count; ++i) {
            for (int k = 0; k < kChannels; ++k) {
                const float value16 =
                    distinct ? 1000.0f * (k + 1) : 10.0f * static_cast<float>(framesRead + i + 1);
                buffer[i * kChannels + k] = value16 / 32767.0f;
            }
        }
        framesRead += count;
        run = {buffer.data(), count};
        return InputStatus::kFrames;
    }
    bool RewindInput() override {
        framesRead = 0;
        ++rewinds;
        return true;
    }
    double InputPosition() const override { return static_cast<double>(framesRead); }
    double InputSize() const override { return static_cast<double>(total); }

  private:
    std::size_t total;
    std::vector<float> buffer;
    std::thread::id maker = std::this_thread::get_id();
};

using test::kBlock;

// Every block the source delivers, row L only; `last` is the read that found none.
std::vector<double> ReadAll(SampleSource& source, std::size_t* blocks = nullptr,
                            BlockRead* last = nullptr) {
    std::vector<double> values;
    SampleBlock block;
    std::size_t count = 0;
    BlockRead read;
    while ((read = source.ReadBlock(block)).HasBlock()) {
        values.insert(values.end(), block.Row(0), block.Row(0) + kBlock);
        ++count;
    }
    if (blocks) *blocks = count;
    if (last) *last = read;
    return values;
}

class SampleSourceTest : public ::testing::Test {
  protected:
    test::FakeJobHost host;
    SampleBlock block;
};

TEST_F(SampleSourceTest, InputOrderBecomesBlockRowOrder) {
    SyntheticSource source(host, SyntheticSource::Plain(), kBlock);
    source.distinct = true;  // L=1000, C=2000, R=3000, LS=4000, RS=5000, LFE=6000
    ASSERT_TRUE(source.Open("x"));
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    const double expected[] = {1000, 3000, 2000, 6000, 4000, 5000};  // L, R, C, LFE, LS, RS
    for (std::size_t row = 0; row < 6; ++row)
        EXPECT_NEAR(block.Row(row)[kBlock - 1], expected[row], 1.0) << row;
}

TEST_F(SampleSourceTest, ResamplerAdvancesByTheRatioAndCarriesPhase) {
    host.outputRate = 44100;
    host.resamplerKind = ResamplerKind::kLinear;
    SyntheticSource source(host, SyntheticSource::Plain(), 100000);
    source.runFrames = 1;  // one input frame per run: the count is exact
    ASSERT_TRUE(source.Open("x"));
    ASSERT_TRUE(source.ResamplingNeeded());
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    // 1152 x 1.0884354 = 1253.88 input frames per block.
    EXPECT_TRUE(source.framesRead == 1253 || source.framesRead == 1254) << source.framesRead;
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    EXPECT_TRUE(source.framesRead == 2507 || source.framesRead == 2508) << source.framesRead;

    // The first output frame mixes input frames 0 and 1 (values 10 and 20).
    SyntheticSource fresh(host, SyntheticSource::Plain(), 100000);
    ASSERT_TRUE(fresh.Open("x"));
    ASSERT_TRUE(fresh.ReadBlock(block).HasBlock());
    EXPECT_EQ(block.Row(0)[0], std::trunc(0.9115646 * 10.0 + 0.0884354 * 20.0));
    // Output frame j lies at input position (j + 1) x 1.0884354 - 1 of the ramp 10 (n + 1).
    EXPECT_NEAR(block.Row(0)[100], 10.0 * 101 * 1.0884354, 1.0);  // the interpolation truncates
}

TEST(LinearResampler, ChunksOfAnySizeGiveWhatOneRunGives) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> sample(-32767, 32767);
    std::vector<Resampler::Frame> input(20000);
    for (auto& frame : input)
        for (auto& value : frame) value = sample(random);

    LinearResampler whole;
    whole.Reset();
    std::vector<Resampler::Frame> expected(whole.MaxOutput(input.size()));
    expected.resize(whole.Push(input.data(), input.size(), expected.data()));

    LinearResampler chunked;
    chunked.Reset();
    std::vector<Resampler::Frame> got;
    std::uniform_int_distribution<std::size_t> chunk(0, 3000);
    for (std::size_t done = 0; done < input.size();) {
        const std::size_t count = std::min(chunk(random), input.size() - done);
        std::vector<Resampler::Frame> out(chunked.MaxOutput(count));
        out.resize(chunked.Push(input.data() + done, count, out.data()));
        got.insert(got.end(), out.begin(), out.end());
        done += count;
    }
    EXPECT_EQ(got, expected);
    // About 44100 output frames per 48000 input frames.
    EXPECT_NEAR(static_cast<double>(expected.size()), 20000 / 1.0884354, 1.0);
}

TEST_F(SampleSourceTest, RunSizesDoNotChangeTheOutput) {
    host.outputRate = 44100;
    for (const ResamplerKind kind : {ResamplerKind::kSoxr, ResamplerKind::kLinear}) {
        host.resamplerKind = kind;
        std::vector<std::vector<double>> outputs;
        for (const std::size_t run : {1, 7, 1152, 1536, 4096}) {
            SyntheticSource source(host, SyntheticSource::Padded(), 30000);
            source.runFrames = run;
            ASSERT_TRUE(source.Open("x"));
            outputs.push_back(ReadAll(source));
        }
        for (std::size_t i = 1; i < outputs.size(); ++i)
            EXPECT_EQ(outputs[i], outputs[0]) << static_cast<int>(kind) << " " << i;
    }
}

TEST_F(SampleSourceTest, TheLastBlockIsPaddedWithSilence) {
    std::size_t blocks = 0;
    // Whole blocks: nothing more, or one more silent block by the source's rule.
    SyntheticSource plainExact(host, SyntheticSource::Plain(), kBlock * 3);
    ASSERT_TRUE(plainExact.Open("x"));
    ReadAll(plainExact, &blocks);
    EXPECT_EQ(blocks, 3u);

    SyntheticSource padded(host, SyntheticSource::Plain(), kBlock * 3 + 100);
    ASSERT_TRUE(padded.Open("x"));
    BlockRead last;
    const auto values = ReadAll(padded, &blocks, &last);
    ASSERT_EQ(blocks, 4u);
    EXPECT_EQ(last.outcome, BlockOutcome::kEnd);
    EXPECT_NE(values[kBlock * 3 + 99], 0.0);
    EXPECT_EQ(values[kBlock * 3 + 100], 0.0);
    EXPECT_EQ(values.back(), 0.0);

    SyntheticSource exact(host, SyntheticSource::Padded(), kBlock * 2);
    ASSERT_TRUE(exact.Open("x"));
    ReadAll(exact, &blocks);
    EXPECT_EQ(blocks, 3u);

    // A single frame still makes a block.
    SyntheticSource single(host, SyntheticSource::Plain(), 1);
    ASSERT_TRUE(single.Open("x"));
    const auto first = ReadAll(single, &blocks);
    EXPECT_EQ(blocks, 1u);
    EXPECT_NE(first[0], 0.0);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(SampleSourceTest, AnInputWithoutSamplesFails) {
    SyntheticSource empty(host, SyntheticSource::Padded(), 0);
    ASSERT_TRUE(empty.Open("nothing.ac3"));
    const BlockRead read = empty.ReadBlock(block);
    EXPECT_EQ(read.outcome, BlockOutcome::kFailed);
    EXPECT_EQ(read.message, "No samples to read in 'nothing.ac3'");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, read.message);
}

TEST_F(SampleSourceTest, ResyncInsertsSilenceOrSkipsOutputFrames) {
    host.resyncMs = 25;  // 1200 frames at 48 kHz
    SyntheticSource inserting(host, SyntheticSource::Padded(), 5000);
    ASSERT_TRUE(inserting.Open("x"));
    EXPECT_EQ(inserting.ResyncFrames(), 1200);
    const auto inserted = ReadAll(inserting);
    EXPECT_EQ(inserted[1199], 0.0);
    EXPECT_EQ(inserted[1200], 10.0);

    host.resyncMs = -25;
    SyntheticSource skipping(host, SyntheticSource::Padded(), 5000);
    ASSERT_TRUE(skipping.Open("x"));
    const auto skipped = ReadAll(skipping);
    EXPECT_EQ(skipped[0], 10.0 * 1201);

    // A skip that reaches past the end delivers nothing, and says so.
    host.resyncMs = -1000;
    SyntheticSource tooShort(host, SyntheticSource::Padded(), 48000);
    ASSERT_TRUE(tooShort.Open("x"));
    EXPECT_EQ(tooShort.ReadBlock(block).outcome, BlockOutcome::kFailed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "The resync skip reaches past the end of 'x'");
    host.messages.clear();

    // More silence than can be inserted.
    host.resyncMs = 56000;
    SyntheticSource overflow(host, SyntheticSource::Padded(), 5000);
    ASSERT_TRUE(overflow.Open("x"));
    EXPECT_EQ(overflow.ReadBlock(block).message, "Resync overflow");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Resync overflow");
}

TEST_F(SampleSourceTest, NormalisationRunsTheAnalysisPassAndReportsBothShares) {
    host.channels.normalize = true;
    SyntheticSource source(host, SyntheticSource::Padded(), 3000);
    ASSERT_TRUE(source.Open("x"));
    EXPECT_EQ(source.rewinds, 1);
    EXPECT_GT(host.peakDisplays, 0);
    // Progress resets at 0 and at 50 %, the analysis pass stays within 0..50 %.
    ASSERT_EQ(host.resets, (std::vector<float>{0.0f, 50.0f}));
    for (float p : host.progress) EXPECT_LE(p, 50.0f);
    host.progress.clear();
    ReadAll(source);
    EXPECT_FLOAT_EQ(host.progress.back(), 100.0f);
    for (float p : host.progress) EXPECT_GE(p, 50.0f);
    // The loudest frame (the last) reaches the full-slider target.
    EXPECT_NEAR(source.Processor().Gains()[0] * 30000.0f, 32767.0f, 2.0f);
}

TEST_F(SampleSourceTest, StopDuringTheAnalysisPassFailsOpen) {
    host.channels.normalize = true;
    host.onProgress = [&] {
        if (host.progress.size() == 3) host.RequestStop();
    };
    SyntheticSource source(host, SyntheticSource::Padded(), 20000);
    EXPECT_FALSE(source.Open("x"));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(SampleSourceTest, StopEndsTheInputAfterTheBlockInHand) {
    SyntheticSource source(host, SyntheticSource::Padded(), 100000);
    ASSERT_TRUE(source.Open("x"));
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    host.onProgress = [&] { host.RequestStop(); };
    // The stop arrives inside this block: it is delivered (what was read, then silence) ...
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    // ... and the input ends there, even once the request is withdrawn.
    host.ClearStop();
    host.onProgress = nullptr;
    EXPECT_EQ(source.ReadBlock(block).outcome, BlockOutcome::kStopped);
    EXPECT_TRUE(source.LastError().empty());
}

TEST_F(SampleSourceTest, ControlsChangedDuringAJobApplyFromTheNextBlockOn) {
    SyntheticSource source(host, SyntheticSource::Padded(), 100000);
    source.distinct = true;
    source.runFrames = 100;
    ASSERT_TRUE(source.Open("x"));
    // The swap of L and R is made while the first block is being read.
    host.onProgress = [&] { host.controls.routing = {1, 0, 2, 3, 4, 5}; };
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    const double left = 1000.0, right = 3000.0;
    for (std::size_t i = 0; i < kBlock; ++i) ASSERT_EQ(block.Row(0)[i], left) << i;
    // Every frame read from the next block on has the new routing; none has half of it
    // (frames read ahead for the first block, fewer than one run, keep the old one).
    std::size_t oldFrames = 0;
    for (int b = 0; b < 2; ++b) {
        ASSERT_TRUE(source.ReadBlock(block).HasBlock());
        for (std::size_t i = 0; i < kBlock; ++i) {
            const bool swapped = block.Row(0)[i] == right && block.Row(1)[i] == left;
            const bool kept = block.Row(0)[i] == left && block.Row(1)[i] == right;
            ASSERT_TRUE(swapped || kept) << b << " " << i;
            if (kept) ++oldFrames;
            if (b == 1) {
                ASSERT_TRUE(swapped);
            }
        }
    }
    EXPECT_LT(oldFrames, source.runFrames);
}

TEST_F(SampleSourceTest, NewTargetsDuringAJobRecomputeTheGains) {
    host.channels.normalize = true;
    SyntheticSource source(host, SyntheticSource::Padded(), 3000);
    ASSERT_TRUE(source.Open("x"));
    const float fullGain = source.Processor().Gains()[0];
    host.controls.sliderPositions[0] = 50;
    ASSERT_TRUE(source.ReadBlock(block).HasBlock());
    EXPECT_FLOAT_EQ(source.Processor().Gains()[0] * 2.0f, fullGain);
}

TEST_F(SampleSourceTest, AReadErrorEndsTheInputAndIsReported) {
    SyntheticSource source(host, SyntheticSource::Padded(), kBlock + 10);
    source.failAt = true;
    ASSERT_TRUE(source.Open("x"));
    std::size_t blocks = 0;
    BlockRead last;
    ReadAll(source, &blocks, &last);
    EXPECT_EQ(blocks, 2u);  // what came before, padded
    EXPECT_EQ(last.outcome, BlockOutcome::kFailed);
    EXPECT_EQ(last.message, "broken");
}

// Read ahead on a thread of its own, a source delivers the same blocks and ends the same way
// as one read in turn: at its end (after an analysis pass too), at a read error (told once,
// on the job's thread) and at a stop that comes while the runs read ahead wait; Close ends
// the reading thread.
TEST_F(SampleSourceTest, ReadingAheadDeliversAndEndsAsReadingInTurn) {
    const struct {
        std::size_t frames;
        bool fails;
        bool normalizes;
        int stopAtProgress;  // 0: never
        BlockOutcome end;
    } cases[] = {{kBlock * 5 + 10, false, false, 0, BlockOutcome::kEnd},
                 {kBlock * 5 + 10, false, true, 0, BlockOutcome::kEnd},
                 {kBlock * 5 + 10, true, false, 0, BlockOutcome::kFailed},
                 {kBlock * 500, false, false, 6, BlockOutcome::kStopped}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.end) << " " << c.normalizes);
        host.channels.normalize = c.normalizes;
        std::vector<double> values[2];
        BlockRead last[2];
        std::vector<test::FakeJobHost::Message> messages[2];
        for (const bool ahead : {false, true}) {
            host.messages.clear();
            host.ClearStop();
            int progressCalls = 0;
            host.onProgress = [&] {
                if (++progressCalls == c.stopAtProgress) host.RequestStop();
            };
            SyntheticSource source(host, SyntheticSource::Padded(), c.frames, ahead);
            source.runFrames = 500;
            source.failAt = c.fails;
            ASSERT_TRUE(source.Open("x"));
            values[ahead] = ReadAll(source, nullptr, &last[ahead]);
            source.Close();
            EXPECT_EQ(source.readElsewhere, ahead);
            messages[ahead] = host.messages;
        }
        EXPECT_EQ(last[1].outcome, c.end);
        EXPECT_EQ(last[1].message, last[0].message);
        EXPECT_EQ(messages[1], messages[0]);
        EXPECT_EQ(values[1], values[0]);
    }
    host.onProgress = nullptr;
    host.channels.normalize = false;
}

}  // namespace
}  // namespace tavrisk
