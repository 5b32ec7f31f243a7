// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sources/GraphPipeSource.h"
#include "tests/support/BlockFrames.h"
#include "tests/support/FakeJobHost.h"

namespace tavrisk {
namespace {

using test::kBlock;
constexpr int kChannels = ChainSource::kChannels;

// `frames` frames of interleaved values; frame n holds n + 1 on every channel (or, with
// `distinct`, 1000 x (k + 1) on channel k).
std::vector<int16_t> Stream(std::size_t frames, bool distinct = false) {
    std::vector<int16_t> values(frames * kChannels);
    for (std::size_t n = 0; n < frames; ++n)
        for (int k = 0; k < kChannels; ++k)
            values[n * kChannels + k] =
                static_cast<int16_t>(distinct ? 1000 * (k + 1) : static_cast<int>(n % 30000) + 1);
    return values;
}

class GraphPipeSourceTest : public ::testing::Test {
  protected:
    GraphPipeSource& Open() {
        source = std::make_unique<GraphPipeSource>(host, host.Settings());
        EXPECT_TRUE(source->Open("film.vob"));
        return *source;
    }
    // Pushes `values` in buffers of `chunk` values, taking every block that gets ready.
    std::size_t Push(const std::vector<int16_t>& values, std::size_t chunk) {
        std::size_t blocks = 0;
        for (std::size_t at = 0; at < values.size(); at += chunk) {
            const std::size_t count = std::min(chunk, values.size() - at);
            EXPECT_TRUE(source->PushSamples(values.data() + at, count));
            while (source->BlockReady()) {
                EXPECT_TRUE(source->ReadBlock(block).HasBlock());
                rowL.insert(rowL.end(), block.Row(0), block.Row(0) + kBlock);
                ++blocks;
            }
        }
        return blocks;
    }
    std::size_t Finish() {
        source->EndOfInput();
        std::size_t blocks = 0;
        while (source->ReadBlock(block).HasBlock()) {
            rowL.insert(rowL.end(), block.Row(0), block.Row(0) + kBlock);
            ++blocks;
        }
        return blocks;
    }

    test::FakeJobHost host;
    std::unique_ptr<GraphPipeSource> source;
    SampleBlock block;
    std::vector<double> rowL;
};

TEST_F(GraphPipeSourceTest, WholeBlocksAreReadyAsTheyFillAndTheRestIsPaddedAtTheEnd) {
    Open();
    // Buffers that end inside a frame (7 values) must not shift the channels.
    EXPECT_EQ(Push(Stream(3 * kBlock + 1), 7), 3u);
    EXPECT_EQ(Finish(), 1u);  // the last frame makes one more, padded block
    ASSERT_EQ(rowL.size(), 4 * kBlock);
    EXPECT_EQ(rowL[0], 1.0);
    EXPECT_EQ(rowL[3 * kBlock], static_cast<double>(3 * kBlock + 1));
    EXPECT_EQ(rowL[3 * kBlock + 1], 0.0);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(GraphPipeSourceTest, ExactBlocksGiveNoExtraBlockAndNothingAtAllFails) {
    Open();
    EXPECT_EQ(Push(Stream(2 * kBlock), 6 * 1000), 2u);
    EXPECT_EQ(Finish(), 0u);

    Open();
    EXPECT_EQ(Finish(), 0u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].text.find("No samples to read in 'film.vob'"), std::string::npos);
}

TEST_F(GraphPipeSourceTest, ChannelsArriveInBlockRowOrder) {
    Open();
    Push(Stream(kBlock, true), 6 * 512);
    // Input L, C, R, LS, RS, LFE = 1000..6000; rows L, R, C, LFE, LS, RS.
    const double expected[] = {1000, 3000, 2000, 6000, 4000, 5000};
    for (int row = 0; row < kChannels; ++row)
        EXPECT_NEAR(block.Row(row)[10], expected[row], 1.0) << "row " << row;
}

TEST_F(GraphPipeSourceTest, NormalisationAnalysesTheFirstRunAndOutputsTheSecond) {
    host.channels.normalize = true;
    Open();
    const std::vector<int16_t> quiet = Stream(2 * kBlock, true);
    source->PushAnalysisSamples(quiet.data(), quiet.size());
    EXPECT_FALSE(source->BlockReady());  // the analysis encodes nothing
    EXPECT_NEAR(source->CurrentPercent(), 0.0f, 1e-6f);
    ASSERT_TRUE(source->EndAnalysis());
    EXPECT_EQ(Push(quiet, 6 * 1024), 2u);
    // Raised by the gains of the analysis: the loudest channel (LFE, 6000) to full scale.
    EXPECT_NEAR(block.Row(3)[5], 32767.0, 8.0);
    EXPECT_GT(block.Row(0)[5], 1000.0 * 5);
    EXPECT_GT(host.peakDisplays, 0);
}

TEST_F(GraphPipeSourceTest, ResyncInsertsSilenceAtTheOutputRate) {
    host.resyncMs = 1000;
    Open();
    // 48000 silent frames: 41 whole blocks before the first sample.
    EXPECT_EQ(Push(Stream(kBlock), 6 * kBlock), 42u);
    for (std::size_t i = 0; i < 41 * kBlock; ++i) ASSERT_EQ(rowL[i], 0.0) << i;
    EXPECT_NEAR(rowL[48000], 1.0, 1.0);
    EXPECT_NE(rowL[48001], 0.0);
    EXPECT_EQ(rowL[47999], 0.0);
}

TEST_F(GraphPipeSourceTest, ResyncSkipDropsTheStartEvenBeyondFortyFourSeconds) {
    host.resyncMs = -10;
    Open();
    Push(Stream(2 * kBlock), 6 * 100);
    EXPECT_NEAR(rowL[0], 481.0, 1.0);  // 480 frames skipped
    EXPECT_NEAR(rowL[1], 482.0, 1.0);

    host.resyncMs = -50000;  // 2.4 million frames: no 32-bit overflow on the way
    Open();
    EXPECT_EQ(source->ResyncFrames(), -2400000);
}

TEST_F(GraphPipeSourceTest, FortyEightKilohertzInFortyFourPointOneOut) {
    host.outputRate = 44100;
    host.resamplerKind = ResamplerKind::kLinear;
    Open();
    Push(Stream(48000, true), 6 * 4800);
    Finish();
    // 44100 frames out of 48000 in, padded to whole blocks: 39 of them.
    EXPECT_EQ(rowL.size(), (44100 + kBlock - 1) / kBlock * kBlock);
}

// Streams the sink cannot place, or not 16-bit or at another rate than the job's, are refused
// by name; one it placed is taken, and how it was placed told once when the input ends.
TEST_F(GraphPipeSourceTest, StreamsThatCannotBePlacedAtTheInputRateAreRefusedByName) {
    struct Case {
        int rate, channels;
        bool s16, placed;
        const char* layout;
        const char* says;
    } cases[] = {
        {48000, 4, true, false, "4 channels",
         "its audio is 4 channels whose positions are not known"},
        {48000, 6, false, false, "5.1", "16-bit or float PCM"},
        {44100, 6, true, true, "5.1", "44100 Hz, but the input frequency is set to 48000 Hz"},
    };
    for (const Case& c : cases) {
        host.messages.clear();
        Open();
        EXPECT_FALSE(source->AcceptFormat(c.rate, c.channels, c.s16, c.layout, c.placed));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].text.find("Cannot transcode 'film.vob'"), std::string::npos);
        EXPECT_NE(host.messages[0].text.find(c.says), std::string::npos) << host.messages[0].text;
        const std::vector<int16_t> values = Stream(kBlock);
        EXPECT_FALSE(source->PushSamples(values.data(), values.size()));
    }
    Open();
    EXPECT_TRUE(source->AcceptFormat(48000, 8, true, "7.1", true, "7.1 folded to 5.1"));
    EXPECT_TRUE(source->AcceptFormat(48000, 8, true, "7.1", true, "7.1 folded to 5.1"));
    Push(Stream(kBlock), 6 * kBlock);
    source->FinishInput();
    ASSERT_EQ(host.warnings.size(), 1u);
    EXPECT_EQ(host.warnings[0].text, "'film.vob': 7.1 folded to 5.1.");
    EXPECT_TRUE(source->ReportedWarnings());
}

// Later formats are taken when the sink places them at the first rate, else refused by name.
TEST_F(GraphPipeSourceTest, MidStreamChangesAreTakenWhenPlacedAtTheFirstRate) {
    const struct {
        int rate;
        bool placed;
        const char* layout;
        bool taken;
    } cases[] = {{48000, true, "stereo", true},
                 {44100, true, "5.1", false},
                 {48000, false, "4 channels", false}};
    for (const auto& c : cases) {
        host.messages.clear();
        Open();
        ASSERT_TRUE(source->AcceptFormat(48000, 6, true, "5.1", true));
        EXPECT_EQ(source->AcceptFormat(c.rate, 2, true, c.layout, c.placed), c.taken) << c.layout;
        ASSERT_EQ(host.messages.size(), c.taken ? 0u : 1u);
        for (const auto& message : host.messages)
            EXPECT_NE(message.text.find("changes partway to " + std::string(c.layout)),
                      std::string::npos);
    }
}

TEST_F(GraphPipeSourceTest, ProgressFollowsTimeElseBytesElseStaysAtZero) {
    Open();
    const std::vector<int16_t> values = Stream(24000);
    source->SetProgressBasis(2.0, -1.0);
    Push(values, values.size());
    EXPECT_NEAR(source->CurrentPercent(), 25.0f, 0.01f);  // 0.5 s of 2 s
    source->SetProgressBasis(0.0, 0.4);
    EXPECT_NEAR(source->CurrentPercent(), 40.0f, 0.01f);
    source->SetProgressBasis(0.0, -1.0);
    EXPECT_EQ(source->CurrentPercent(), 0.0f);
    // A stated length shorter than the stream never gives more than 100 %.
    source->SetProgressBasis(0.25, -1.0);
    EXPECT_LE(source->CurrentPercent(), 100.0f);
    for (float p : host.progress) EXPECT_TRUE(std::isfinite(p));
}

}  // namespace
}  // namespace tavrisk
