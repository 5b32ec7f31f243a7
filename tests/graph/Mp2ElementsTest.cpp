// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "graph/GraphRuntime.h"
#include "graph/Mp2DecoderElement.h"
#include "graph/Mp2EncoderElement.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr int kSeekRate = 48000;

TEST(Mp2ElementsRegistration, InProcess) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    const struct {
        const char* name;
        const char* klass;
        guint rank;
    } elements[] = {
        {kMp2EncoderFactoryName, "Codec/Encoder/Audio", GST_RANK_SECONDARY},
        // Primary: on stereo Layer II it matches GStreamer's decoders within 1 LSB and takes at
        // most 1.2 times their time (bench/Mp2DecoderElementBench).
        {kMp2DecoderFactoryName, "Codec/Decoder/Audio", GST_RANK_PRIMARY},
    };
    for (const auto& e : elements) {
        SCOPED_TRACE(e.name);
        GstElementFactory* factory = gst_element_factory_find(e.name);
        ASSERT_NE(factory, nullptr);
        EXPECT_STREQ(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS),
                     e.klass);
        EXPECT_EQ(gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(factory)), e.rank);
        gst_object_unref(factory);
    }
}

// The first output time and samples to the end of `pipeline`, after a flushing seek to `seekTo`.
struct SeekRun {
    GstClockTime first = GST_CLOCK_TIME_NONE;
    std::vector<int16_t> samples;
};
SeekRun RunWithSeek(const std::string& pipeline, GstClockTime seekTo) {
    SeekRun run;
    GstElement* bin = gst_parse_launch(pipeline.c_str(), nullptr);
    auto keep = +[](GstElement*, GstBuffer* buffer, GstPad*, SeekRun* out) {
        if (out->first == GST_CLOCK_TIME_NONE) out->first = GST_BUFFER_PTS(buffer);
        const std::size_t values = gst_buffer_get_size(buffer) / sizeof(int16_t);
        out->samples.resize(out->samples.size() + values);
        gst_buffer_extract(buffer, 0, &*(out->samples.end() - values), values * sizeof(int16_t));
    };
    GstElement* sink = gst_bin_get_by_name(GST_BIN(bin), "sink");
    g_signal_connect(sink, "handoff", G_CALLBACK(keep), &run);
    gst_object_unref(sink);  // the bin keeps it
    gst_element_set_state(bin, GST_STATE_PAUSED);
    gst_element_get_state(bin, nullptr, nullptr, GST_CLOCK_TIME_NONE);
    if (seekTo != 0) {
        run = SeekRun{};  // the preroll buffer comes before the seek
        EXPECT_TRUE(gst_element_seek_simple(bin, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, seekTo));
        gst_element_get_state(bin, nullptr, nullptr, GST_CLOCK_TIME_NONE);
    }
    gst_element_set_state(bin, GST_STATE_PLAYING);
    GstMessage* end = gst_bus_timed_pop_filtered(
        GST_ELEMENT_BUS(bin), 30 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    EXPECT_TRUE(end != nullptr && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS);
    if (end != nullptr) gst_message_unref(end);
    gst_element_set_state(bin, GST_STATE_NULL);
    gst_object_unref(bin);
    return run;
}

// After a flushing seek the output starts at the seek position and, once the filterbanks have
// settled, is the plain run's own output at the same time, to the end of the stream.
TEST(Mp2ElementsPipeline, FlushingSeekKeepsTheTimeline) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    TempDir dir;
    const std::string mp2 = dir.File("stereo.mp2");
    ASSERT_TRUE(
        Ffmpeg("-f lavfi -i sine=440:d=3 -ac 2 -ar 48000 -c:a mp2 -b:a 192k " + Quote(mp2)));
    const std::string pipeline = "filesrc location=\"" + mp2 + "\" ! mpegaudioparse ! " +
                                 kMp2DecoderFactoryName +
                                 " ! fakesink name=sink sync=false signal-handoffs=true";
    const GstClockTime seekTo = GST_SECOND + GST_SECOND / 4;
    const SeekRun plain = RunWithSeek(pipeline, 0);
    const SeekRun sought = RunWithSeek(pipeline, seekTo);
    ASSERT_EQ(plain.first, 0u);
    EXPECT_LE(sought.first, seekTo);
    EXPECT_GT(sought.first + GST_SECOND * 1152 / kSeekRate, seekTo);
    const std::size_t skipped =
        2 * gst_util_uint64_scale_round(sought.first, kSeekRate, GST_SECOND);
    ASSERT_EQ(plain.samples.size(), skipped + sought.samples.size());
    for (std::size_t i = 2 * 1152; i < sought.samples.size(); ++i)
        ASSERT_EQ(sought.samples[i], plain.samples[skipped + i]) << "value " << i;
}

}  // namespace
}  // namespace tavrisk::test
