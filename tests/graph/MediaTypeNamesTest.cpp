// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "graph/GraphRuntime.h"
#include "graph/MediaTypeNames.h"

namespace tavrisk {
namespace {

class MediaTypeNamesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(InitGraphRuntime().Reason(), ""); }

    static std::string Describe(const char* capsText) {
        GstCaps* caps = gst_caps_from_string(capsText);
        EXPECT_NE(caps, nullptr) << capsText;
        const std::string text = DescribeCaps(caps);
        gst_caps_unref(caps);
        return text;
    }

    static std::string Subtype(const char* capsText) {
        GstCaps* caps = gst_caps_from_string(capsText);
        const std::string text = SubtypeName(caps);
        gst_caps_unref(caps);
        return text;
    }
};

TEST_F(MediaTypeNamesTest, AudioConnectionsCarryChannelsRateAndSampleSize) {
    EXPECT_EQ(Describe("audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=6"),
              "Audio PCM WaveFormatEx 6 ch 48000 hz 16 bits");
    EXPECT_EQ(Describe("audio/x-raw, format=F32LE, layout=interleaved, rate=44100, channels=2"),
              "Audio PCM WaveFormatEx 2 ch 44100 hz 32 bits");
    EXPECT_EQ(Describe("audio/x-ac3, rate=48000, channels=6"),
              "Audio DOLBY_AC3 WaveFormatEx 6 ch 48000 hz 0 bits");
    EXPECT_EQ(Describe("audio/ac3, rate=48000, channels=6"),
              "Audio DOLBY_AC3 WaveFormatEx 6 ch 48000 hz 0 bits");
    EXPECT_EQ(Describe("audio/x-lpcm, width=24, rate=96000, channels=2"),
              "Audio DVD_LPCM_AUDIO WaveFormatEx 2 ch 96000 hz 24 bits");
}

TEST_F(MediaTypeNamesTest, MpegAudioLayersAndVersions) {
    EXPECT_EQ(Subtype("audio/mpeg, mpegversion=1, layer=2"), "MPEG1Audio");
    EXPECT_EQ(Subtype("audio/mpeg, mpegversion=1, mpegaudioversion=2, layer=2"), "MPEG2_AUDIO");
    EXPECT_EQ(Subtype("audio/mpeg, mpegversion=1, layer=3"), "Unknown");
    EXPECT_EQ(Subtype("audio/mpeg, mpegversion=4"), "Unknown");
}

TEST_F(MediaTypeNamesTest, VideoConnectionsHaveNoNumbers) {
    EXPECT_EQ(Describe("video/x-raw, format=YUY2, width=320, height=240"), "Video YUY2 VideoInfo");
    EXPECT_EQ(Describe("video/x-raw, format=BGRx"), "Video RGB32 VideoInfo");
    EXPECT_EQ(Describe("video/mpeg, mpegversion=1, systemstream=false"),
              "Video MPEG1Video MPEGVideo");
    EXPECT_EQ(Describe("video/mpeg, mpegversion=2, systemstream=false"),
              "Video Unknown MPEG2Video");
    EXPECT_EQ(Describe("video/x-dv, systemstream=false"), "Video dvsd DvInfo");
}

TEST_F(MediaTypeNamesTest, UnlistedSubtypeIsUnknownInTheMiddle) {
    EXPECT_EQ(Describe("video/x-h264, stream-format=avc"), "Video Unknown VideoInfo");
    EXPECT_EQ(Describe("video/x-raw, format=NV12"), "Video Unknown VideoInfo");
    EXPECT_EQ(Describe("audio/x-dts, rate=48000, channels=6"),
              "Audio Unknown WaveFormatEx 6 ch 48000 hz 0 bits");
    EXPECT_EQ(Describe("application/x-rtp"), "Unknown Unknown Unknown");
}

TEST_F(MediaTypeNamesTest, ContainersAreStreams) {
    EXPECT_EQ(Describe("video/mpeg, mpegversion=2, systemstream=true"),
              "Stream MPEG2_PROGRAM Null");
    EXPECT_EQ(Describe("video/mpeg, mpegversion=1, systemstream=true"), "Stream MPEG1System Null");
    EXPECT_EQ(Describe("video/mpegts, systemstream=true"), "Stream MPEG2_TRANSPORT Null");
    EXPECT_EQ(Describe("audio/x-wav"), "Stream WAVE Null");
    EXPECT_EQ(Describe("video/x-msvideo"), "Stream Avi Null");
}

TEST_F(MediaTypeNamesTest, EmptyAndAnyCapsAreNull) {
    EXPECT_EQ(DescribeCaps(nullptr), "NULL NULL Null");
    GstCaps* any = gst_caps_new_any();
    GstCaps* empty = gst_caps_new_empty();
    EXPECT_EQ(DescribeCaps(any), "NULL NULL Null");
    EXPECT_EQ(DescribeCaps(empty), "NULL NULL Null");
    gst_caps_unref(any);
    gst_caps_unref(empty);
}

}  // namespace
}  // namespace tavrisk
