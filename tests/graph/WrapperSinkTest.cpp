// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <gst/audio/audio.h>

#include "graph/GraphRuntime.h"
#include "graph/WrapperSink.h"
#include "tests/graph/GraphTestRun.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using test::CollectingReceiver;

class WrapperSinkTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(InitGraphRuntime().Reason(), ""); }
};

// A wrapper fed by a pad of our own, running on its own: stream start, caps, segment, then
// buffers of the given bytes.
class WrapperFeeder {
  public:
    explicit WrapperFeeder(SampleReceiver* receiver) {
        wrapper = gst_element_factory_make(kWrapperFactoryName, nullptr);
        gst_object_ref_sink(wrapper);
        if (receiver) SetWrapperReceiver(wrapper, receiver);
        source = gst_pad_new("src", GST_PAD_SRC);
        GstPad* sink = gst_element_get_static_pad(wrapper, "sink");
        gst_pad_link(source, sink);
        gst_object_unref(sink);
        gst_pad_set_active(source, TRUE);
        gst_element_set_state(wrapper, GST_STATE_PLAYING);
        gst_pad_push_event(source, gst_event_new_stream_start("feeder"));
    }
    ~WrapperFeeder() {
        gst_element_set_state(wrapper, GST_STATE_NULL);
        gst_pad_set_active(source, FALSE);
        gst_object_unref(source);
        gst_object_unref(wrapper);
    }

    void Caps(const char* text) {
        GstCaps* caps = gst_caps_from_string(text);
        ASSERT_NE(caps, nullptr) << text;
        ASSERT_TRUE(gst_pad_push_event(source, gst_event_new_caps(caps))) << text;
        gst_caps_unref(caps);
        if (!segmentSent) {
            GstSegment segment;
            gst_segment_init(&segment, GST_FORMAT_TIME);
            gst_pad_push_event(source, gst_event_new_segment(&segment));
            segmentSent = true;
        }
    }

    GstFlowReturn Push(const void* bytes, std::size_t size) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
        gst_buffer_fill(buffer, 0, bytes, size);
        return gst_pad_push(source, buffer);
    }
    GstPad* Source() const { return source; }

    GstElement* Element() const { return wrapper; }

  private:
    GstElement* wrapper = nullptr;
    GstPad* source = nullptr;
    bool segmentSent = false;
};

// Takes a plain 5.1 stream in the stream's order.
struct PlacingReceiver : CollectingReceiver {
    bool PlacesChannelsItself() const override { return true; }
};

constexpr const char* kBackSurround =
    "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=6, "
    "channel-mask=(bitmask)0x3f";
constexpr const char* kSideSurround =
    "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=6, "
    "channel-mask=(bitmask)0xc0f";
// Six channels that name no positions (a decoder that does not know the layout).
constexpr const char* kUnpositioned =
    "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=6, "
    "channel-mask=(bitmask)0x0";

TEST_F(WrapperSinkTest, FactoryIsNeverPickedByAutoPlugging) {
    GstElementFactory* factory = gst_element_factory_find(kWrapperFactoryName);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(factory)), GST_RANK_NONE);
    EXPECT_STREQ(gst_element_factory_get_longname(factory), kWrapperLongName);
    EXPECT_STREQ(gst_element_factory_get_klass(factory), "Sink/Audio");

    // The audio sinks an automatic sink or a player would consider, and the decoders.
    for (GstElementFactoryListType type :
         {GST_ELEMENT_FACTORY_TYPE_SINK | GST_ELEMENT_FACTORY_TYPE_MEDIA_AUDIO,
          GST_ELEMENT_FACTORY_TYPE_DECODABLE}) {
        GList* candidates = gst_element_factory_list_get_elements(type, GST_RANK_MARGINAL);
        EXPECT_NE(candidates, nullptr);
        for (GList* item = candidates; item; item = item->next) {
            EXPECT_STRNE(GST_OBJECT_NAME(item->data), kWrapperFactoryName);
        }
        gst_plugin_feature_list_free(candidates);
    }
    gst_object_unref(factory);
}

TEST_F(WrapperSinkTest, LocationHoldsAtMost260Characters) {
    GstElement* wrapper = gst_element_factory_make(kWrapperFactoryName, nullptr);
    gst_object_ref_sink(wrapper);
    EXPECT_TRUE(IsWrapper(wrapper));
    const std::string longest(kWrapperMaxLocation, 'a');
    EXPECT_TRUE(SetWrapperLocation(wrapper, longest));
    EXPECT_EQ(SetWrapperLocation(wrapper, longest + "b").Reason(),
              "the location is longer than 260 characters");
    gchar* stored = nullptr;
    g_object_get(wrapper, "location", &stored, nullptr);
    EXPECT_EQ(std::string(stored ? stored : ""), longest);
    g_free(stored);
    // Set as a property, an over-long name is refused the same way.
    g_object_set(wrapper, "location", (longest + "c").c_str(), nullptr);
    g_object_get(wrapper, "location", &stored, nullptr);
    EXPECT_EQ(std::string(stored ? stored : ""), longest);
    g_free(stored);

    GstElement* other = gst_element_factory_make("fakesink", nullptr);
    gst_object_ref_sink(other);
    EXPECT_FALSE(IsWrapper(other));
    EXPECT_FALSE(SetWrapperLocation(other, "output.pcm"));
    gst_object_unref(other);
    gst_object_unref(wrapper);
}

TEST_F(WrapperSinkTest, AcceptsEveryMediaType) {
    GstElement* wrapper = gst_element_factory_make(kWrapperFactoryName, nullptr);
    gst_object_ref_sink(wrapper);
    GstPad* sink = gst_element_get_static_pad(wrapper, "sink");
    for (const char* text : {kBackSurround, "video/x-h264, stream-format=avc", "audio/x-ac3",
                             "application/x-unknown"}) {
        GstCaps* caps = gst_caps_from_string(text);
        EXPECT_TRUE(gst_pad_query_accept_caps(sink, caps)) << text;
        gst_caps_unref(caps);
    }
    gst_object_unref(sink);
    gst_object_unref(wrapper);
}

TEST_F(WrapperSinkTest, SixChannelsArriveInFilmOrderWhateverTheSurroundPositions) {
    // Negotiated order FL FR FC LFE surround-left surround-right.
    const std::vector<int16_t> frames = {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 15};
    const std::vector<int16_t> filmOrder = {0, 2, 1, 4, 5, 3, 10, 12, 11, 14, 15, 13};
    // Without positions, the usual file order L, R, C, LFE, LS, RS is assumed.
    for (const char* caps : {kBackSurround, kSideSurround, kUnpositioned}) {
        CollectingReceiver receiver;
        WrapperFeeder feeder(&receiver);
        feeder.Caps(caps);
        ASSERT_EQ(feeder.Push(frames.data(), frames.size() * sizeof(int16_t)), GST_FLOW_OK);
        EXPECT_EQ(receiver.Samples(), filmOrder) << caps;
        const StreamFormat format = receiver.Format();
        EXPECT_EQ(format.channels, 6);
        EXPECT_EQ(format.rate, 48000);
        EXPECT_TRUE(format.s16);
        EXPECT_EQ(format.layoutName, "5.1");
        EXPECT_FALSE(format.slotInFrame);

        // A receiver that places the channels itself takes them as they come, and where each
        // film channel sits.
        PlacingReceiver placing;
        WrapperFeeder placed(&placing);
        placed.Caps(caps);
        ASSERT_EQ(placed.Push(frames.data(), frames.size() * sizeof(int16_t)), GST_FLOW_OK);
        EXPECT_EQ(placing.Samples(), frames) << caps;
        const auto slots = placing.Format().slotInFrame.value_or(std::array<int, kFilmChannels>{});
        for (int slot = 0; slot < kFilmChannels; ++slot)
            EXPECT_EQ(frames[slots[slot]], filmOrder[slot]) << caps;
    }
}

// Other layouts are placed into the six by position, the missing channels silent; the odd
// last byte of a buffer is ignored.
TEST_F(WrapperSinkTest, OtherLayoutsArePlacedIntoFilmOrderByPosition) {
    const struct {
        const char* caps;
        std::vector<int16_t> in;
        std::vector<int16_t> out;  // L C R LS RS LFE
        const char* mapping;
    } cases[] = {
        {"channels=2",
         {1, 2, 3, 4},
         {1, 0, 2, 0, 0, 0, 3, 0, 4, 0, 0, 0},
         "stereo mapped to 5.1: C, LS, RS and the LFE stay silent"},
        {"channels=1",
         {7, 8},
         {0, 7, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0},
         "mono mapped to 5.1 as C: L, R, LS, RS and the LFE stay silent"},
        // FL FR RC: the single rear channel feeds both surrounds at -3 dB.
        {"channels=3, channel-mask=(bitmask)0x103",
         {10, 20, 1000},
         {10, 0, 20, 707, 707, 0},
         "3 channels mapped to 5.1 as L, R, LS and RS: C and the LFE stay silent; the rear "
         "centre feeds both surrounds at \u2212"
         "3 dB"},
        // 7.1, FL FR FC LFE RL RR SL SR: rear and side pairs into the surrounds at -3 dB each,
        // the sum clipped.
        {"channels=8, channel-mask=(bitmask)0xc3f",
         {100, 200, 300, 400, 1000, 2000, 3000, 4000, 0, 0, 0, 0, 32767, -32768, 32767, -32768},
         {100, 300, 200, 2828, 4242, 400, 0, 0, 0, 32767, -32768, 0},
         "7.1 folded to 5.1: back channels into the surrounds at \u2212"
         "3 dB"},
    };
    // (Even for a receiver that places a plain 5.1 stream itself.)
    for (const auto& c : cases) {
        PlacingReceiver receiver;
        WrapperFeeder feeder(&receiver);
        feeder.Caps(
            ("audio/x-raw, format=S16LE, layout=interleaved, rate=44100, " + std::string(c.caps))
                .c_str());
        std::vector<uint8_t> bytes(c.in.size() * sizeof(int16_t) + 1, 9);
        std::memcpy(bytes.data(), c.in.data(), c.in.size() * sizeof(int16_t));
        ASSERT_EQ(feeder.Push(bytes.data(), bytes.size()), GST_FLOW_OK);
        EXPECT_EQ(receiver.Samples(), c.out) << c.caps;
        EXPECT_TRUE(receiver.Format().placed) << c.caps;
        EXPECT_EQ(receiver.Format().mapping, c.mapping);
    }
}

// Float streams are placed as 16-bit ones are, their values neither rounded nor clipped: a
// 7.1 fold beyond full scale is left for the channel processing.
TEST_F(WrapperSinkTest, FloatStreamsArePlacedWithoutRoundingOrClipping) {
    CollectingReceiver receiver;
    WrapperFeeder feeder(&receiver);
    feeder.Caps(
        "audio/x-raw, format=F32LE, layout=interleaved, rate=48000, channels=8, "
        "channel-mask=(bitmask)0xc3f");  // FL FR FC LFE RL RR SL SR
    const std::vector<float> in = {1e-6f, 0.5f, 0.25f, 0.125f, 1.0f, 0.25f, 1.0f, 0.25f};
    ASSERT_EQ(feeder.Push(in.data(), in.size() * sizeof(float)), GST_FLOW_OK);
    EXPECT_TRUE(receiver.Format().f32);
    EXPECT_EQ(receiver.FloatSamples(), (std::vector<float>{1e-6f, 0.25f, 0.5f, 2.0f * 0.70710678f,
                                                           0.5f * 0.70710678f, 0.125f}));
}

TEST_F(WrapperSinkTest, OtherFormatsArriveUnchangedAfterTheirFormat) {
    CollectingReceiver receiver;
    WrapperFeeder feeder(&receiver);
    feeder.Caps(
        "audio/x-raw, format=S32LE, layout=interleaved, rate=48000, channels=6, "
        "channel-mask=(bitmask)0x3f");
    const std::vector<int16_t> values = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(feeder.Push(values.data(), values.size() * sizeof(int16_t)), GST_FLOW_OK);
    EXPECT_EQ(receiver.Samples(), values);
    EXPECT_FALSE(receiver.Format().s16);
    EXPECT_EQ(receiver.FormatCalls(), 1);

    feeder.Caps(
        "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=8, "
        "channel-mask=(bitmask)0xc3f");
    ASSERT_EQ(feeder.Push(values.data(), values.size() * sizeof(int16_t)), GST_FLOW_OK);
    EXPECT_EQ(receiver.FormatCalls(), 2);
    EXPECT_EQ(receiver.Format().layoutName, "7.1");
    EXPECT_EQ(receiver.Format().channels, 8);
}

TEST_F(WrapperSinkTest, ReceiverAttachedLateHearsTheFormatFirstAndDetachedHearsNothing) {
    CollectingReceiver receiver;
    WrapperFeeder feeder(nullptr);
    feeder.Caps(kBackSurround);
    const std::vector<int16_t> frame = {0, 1, 2, 3, 4, 5};
    ASSERT_EQ(feeder.Push(frame.data(), sizeof(int16_t) * frame.size()), GST_FLOW_OK);
    SetWrapperReceiver(feeder.Element(), &receiver);
    ASSERT_EQ(feeder.Push(frame.data(), sizeof(int16_t) * frame.size()), GST_FLOW_OK);
    EXPECT_EQ(receiver.FormatCalls(), 1);
    EXPECT_EQ(receiver.Count(), frame.size());
    SetWrapperReceiver(feeder.Element(), nullptr);
    ASSERT_EQ(feeder.Push(frame.data(), sizeof(int16_t) * frame.size()), GST_FLOW_OK);
    EXPECT_EQ(receiver.Count(), frame.size());
}

// What lies outside the segment and what a clipping meta marks is left out; each delivery
// carries its running time and the segment's end.
TEST_F(WrapperSinkTest, SamplesOutsideTheSegmentOrClippedAwayAreLeftOut) {
    struct Timings : SampleReceiver {
        void FormatChanged(const StreamFormat&) override {}
        void DeliverSamples(const int16_t*, std::size_t count, const SampleTiming& t) override {
            seen.push_back({count / 6, t.startNs.value_or(1), t.endNs.value_or(1)});
        }
        void DeliverFloatSamples(const float*, std::size_t, const SampleTiming&) override {
            ADD_FAILURE() << "16-bit samples came as floats";
        }
        std::vector<std::array<uint64_t, 3>> seen;
    } receiver;
    WrapperFeeder feeder(&receiver);
    feeder.Caps(kSideSurround);
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    segment.start = segment.time = 500 * GST_MSECOND;
    segment.stop = GST_SECOND;
    gst_pad_push_event(feeder.Source(), gst_event_new_segment(&segment));
    const auto push = [&](GstClockTime pts, gsize frames, guint64 clipStart, guint64 clipEnd) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, frames * 12, nullptr);
        gst_buffer_memset(buffer, 0, 0, frames * 12);
        GST_BUFFER_PTS(buffer) = pts;
        if (clipStart || clipEnd)
            gst_buffer_add_audio_clipping_meta(buffer, GST_FORMAT_DEFAULT, clipStart, clipEnd);
        gst_pad_push(feeder.Source(), buffer);
    };
    push(490 * GST_MSECOND, 960, 0, 0);  // half before the segment
    push(520 * GST_MSECOND, 480, 96, 48);
    push(990 * GST_MSECOND, 960, 0, 0);  // half after it
    push(GST_SECOND, 480, 0, 0);         // all after it
    const std::vector<std::array<uint64_t, 3>> expected = {
        {480, 0, 500 * GST_MSECOND},
        {336, 22 * GST_MSECOND, 500 * GST_MSECOND},
        {480, 490 * GST_MSECOND, 500 * GST_MSECOND}};
    EXPECT_EQ(receiver.seen, expected);
}

}  // namespace
}  // namespace tavrisk
