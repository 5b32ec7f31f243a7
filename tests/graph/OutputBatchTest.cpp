// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "graph/GraphRuntime.h"
#include "graph/OutputBatch.h"

namespace tavrisk::test {
namespace {

constexpr int kSampleRate = 48000;
constexpr gsize kSampleBytes = 24;  // six floats
constexpr int kFrame = 1536;
constexpr GstClockTime kFrameNs = 32 * GST_MSECOND;
constexpr GstClockTime kStart = GST_SECOND;

// After one frame stamped kStart, whether the next one joins the batch.
TEST(OutputBatchTest, OnlyAFrameThatFollowsOnInTheSameFormatJoins) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    const struct {
        GstClockTime firstPts;
        GstClockTime pts;
        int samples;
        gsize sampleBytes;
        int rate;
        bool joins;
    } cases[] = {
        {kStart, kStart + kFrameNs, kFrame, kSampleBytes, kSampleRate, true},
        {kStart, kStart + kFrameNs + 10 * GST_USECOND, kFrame, kSampleBytes, kSampleRate, true},
        {kStart, GST_CLOCK_TIME_NONE, kFrame, kSampleBytes, kSampleRate, true},
        {kStart, kStart + kFrameNs + 11 * GST_USECOND, kFrame, kSampleBytes, kSampleRate, false},
        {kStart, kStart + kFrameNs - GST_MSECOND, kFrame, kSampleBytes, kSampleRate, false},
        {kStart, kStart, kFrame, kSampleBytes, kSampleRate, false},
        {kStart, kStart + kFrameNs, kFrame, kSampleBytes / 3, kSampleRate, false},
        {kStart, kStart + kFrameNs, kFrame, kSampleBytes, 44100, false},
        {kStart, kStart + kFrameNs, OutputBatch::kSamples, kSampleBytes, kSampleRate, false},
        {GST_CLOCK_TIME_NONE, kStart + kFrameNs, kFrame, kSampleBytes, kSampleRate, false},
        {GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE, kFrame, kSampleBytes, kSampleRate, true},
    };
    for (const auto& c : cases) {
        OutputBatch batch;
        EXPECT_TRUE(batch.Takes(c.firstPts, kFrame, kSampleBytes, kSampleRate));
        ASSERT_NE(batch.Room(kFrame, kSampleBytes, kSampleRate), nullptr);
        batch.Added(c.firstPts, kFrame, 1);
        EXPECT_EQ(batch.Takes(c.pts, c.samples, c.sampleBytes, c.rate), c.joins) << c.pts;
    }
}

TEST(OutputBatchTest, AFullBatchIsOneBufferStandingForItsInputFrames) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    OutputBatch batch;
    int frames = -1;
    EXPECT_EQ(batch.Take(frames), nullptr);
    EXPECT_EQ(frames, 0);
    for (int i = 0; !batch.Full(); ++i) {
        uint8_t* room = batch.Room(kFrame, kSampleBytes, kSampleRate);
        ASSERT_NE(room, nullptr);
        room[0] = static_cast<uint8_t>(i);
        batch.Added(kStart + i * kFrameNs, kFrame, 1);
    }
    GstBuffer* buffer = batch.Take(frames);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(frames, OutputBatch::kSamples / kFrame);
    EXPECT_EQ(gst_buffer_get_size(buffer), OutputBatch::kSamples * kSampleBytes);
    uint8_t lastFirstByte = 0;
    gst_buffer_extract(buffer, (frames - 1) * kFrame * kSampleBytes, &lastFirstByte, 1);
    EXPECT_EQ(lastFirstByte, frames - 1);
    gst_buffer_unref(buffer);
}

}  // namespace
}  // namespace tavrisk::test
