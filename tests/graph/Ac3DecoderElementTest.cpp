// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "graph/Ac3DecoderElement.h"
#include "graph/DecodedAudioOrder.h"
#include "graph/GraphRuntime.h"
#include "graph/LibavFrameDecoder.h"
#include "graph/OutputBatch.h"
#include "tests/graph/GraphFileTest.h"
#include "tests/graph/GraphInputs.h"
#include "tests/graph/GraphTestRun.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr auto kRunLimit = std::chrono::seconds(20);
constexpr const char* kVobEncode =
    "-f lavfi -i testsrc=size=160x120:rate=25 -map 1:v -map 0:a -shortest -c:v mpeg2video "
    "-c:a ac3 -ac 6 -f vob";

// --- The element as GStreamer sees it ------------------------------------------------------

TEST(Ac3DecoderRegistration, RankedAboveTheOtherAc3DecodersAsAnAudioDecoder) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    GstElementFactory* factory = gst_element_factory_find(kAc3DecoderFactoryName);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(factory)),
              static_cast<guint>(GST_RANK_PRIMARY + 1));
    EXPECT_STREQ(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME),
                 kAc3DecoderLongName);
    EXPECT_STREQ(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS),
                 "Codec/Decoder/Audio");
    for (const char* other : {"a52dec", "avdec_ac3", "avdec_eac3"}) {
        GstElementFactory* rival = gst_element_factory_find(other);
        if (rival == nullptr) continue;
        EXPECT_GT(gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(factory)),
                  gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(rival)))
            << other;
        gst_object_unref(rival);
    }
    // Framed AC-3 and E-AC-3 as the parser gives them.
    for (const char* text : {"audio/x-ac3, framed=(boolean)true, alignment=(string)frame",
                             "audio/x-eac3, framed=(boolean)true, alignment=(string)frame"}) {
        GstCaps* caps = gst_caps_from_string(text);
        EXPECT_TRUE(gst_element_factory_can_sink_all_caps(factory, caps)) << text;
        gst_caps_unref(caps);
    }
    gst_object_unref(factory);
}

// --- libavcodec's side ---------------------------------------------------------------------

TEST(LibavFrameDecoderTest, BothCodecsOpenWithoutDynamicRangeCompression) {
    for (auto codec : {LibavFrameDecoder::Codec::kAc3, LibavFrameDecoder::Codec::kEac3}) {
        LibavFrameDecoder decoder;
        ASSERT_TRUE(decoder.Open(codec));
        EXPECT_EQ(decoder.OpenCodec(), codec);
        EXPECT_EQ(decoder.DrcScale(), 0.0);
    }
}

TEST(LibavFrameDecoderTest, GarbageIsRefusedAndAClosedDecoderTakesNothing) {
    LibavFrameDecoder decoder;
    const std::vector<uint8_t> garbage(1536, 0x5a);
    EXPECT_FALSE(decoder.Send(garbage));
    EXPECT_EQ(decoder.Receive(), LibavFrameDecoder::Result::kNeedMore);
    ASSERT_TRUE(decoder.Open(LibavFrameDecoder::Codec::kAc3));
    const bool sent = decoder.Send(garbage);
    if (sent) {
        EXPECT_NE(decoder.Receive(), LibavFrameDecoder::Result::kFrame);
    }
    decoder.SendEnd();
    EXPECT_EQ(decoder.Receive(), LibavFrameDecoder::Result::kNeedMore);
    decoder.Flush();
    decoder.Close();
    EXPECT_FALSE(decoder.IsOpen());
}

// --- From planar float to GStreamer's interleaved 16 bits ----------------------------------

TEST(DecodedAudioOrderTest, SamplesAreScaledRoundedAndClippedAsTheNativeChainDoes) {
    EXPECT_EQ(FloatToS16(0.0f), 0);
    EXPECT_EQ(FloatToS16(1.0f), 32767);
    EXPECT_EQ(FloatToS16(-1.0f), -32767);
    EXPECT_EQ(FloatToS16(1.7f), 32767);
    EXPECT_EQ(FloatToS16(-3.0f), -32768);
    EXPECT_EQ(FloatToS16(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(FloatToS16(std::numeric_limits<float>::quiet_NaN()), 0);
    // To the nearest, halves away from zero: 0.5 x 32767 = 16383.5.
    EXPECT_EQ(FloatToS16(0.5f), 16384);
    EXPECT_EQ(FloatToS16(-0.5f), -16384);
    EXPECT_EQ(FloatToS16(2.9f / 32767.0f), 3);
    EXPECT_EQ(FloatToS16(-2.4f / 32767.0f), -2);
    EXPECT_EQ(FloatToS16(1000.0f / 32767.0f), 1000);
}

std::vector<GstAudioChannelPosition> PositionsOf(const char* layoutName, InterleaveOrder& order) {
    AVChannelLayout layout{};
    EXPECT_EQ(av_channel_layout_from_string(&layout, layoutName), 0) << layoutName;
    EXPECT_TRUE(OrderOfLayout(layout, order)) << layoutName;
    av_channel_layout_uninit(&layout);
    return order.positions;
}

TEST(DecodedAudioOrderTest, LayoutsBecomeGStreamerPositionsInGStreamerOrder) {
    using P = std::vector<GstAudioChannelPosition>;
    InterleaveOrder order;
    EXPECT_EQ(PositionsOf("5.1(side)", order),
              (P{GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT,
                 GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_LFE1,
                 GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT, GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT}));
    EXPECT_EQ(order.planeOfChannel, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(PositionsOf("5.1", order)[4], GST_AUDIO_CHANNEL_POSITION_REAR_LEFT);
    EXPECT_EQ(PositionsOf("mono", order), P{GST_AUDIO_CHANNEL_POSITION_MONO});
    EXPECT_EQ(PositionsOf("stereo", order).size(), 2u);

    // A decoder order other than GStreamer's: the planes are picked in GStreamer's.
    EXPECT_EQ(PositionsOf("FC+FR+FL", order),
              (P{GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT,
                 GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER}));
    EXPECT_EQ(order.planeOfChannel, (std::vector<int>{2, 1, 0}));

    // A channel named twice cannot be positioned: unpositioned, in the decoder's order.
    EXPECT_EQ(PositionsOf("FL+FL", order),
              (P{GST_AUDIO_CHANNEL_POSITION_NONE, GST_AUDIO_CHANNEL_POSITION_NONE}));
    EXPECT_EQ(order.planeOfChannel, (std::vector<int>{0, 1}));

    AVChannelLayout empty{};
    EXPECT_FALSE(OrderOfLayout(empty, order));
}

// Lossless 16-bit planes pass unchanged; 32-bit ones as their float value would.
TEST(DecodedAudioOrderTest, IntegerPlanesOfLosslessDecodersBecome16Bits) {
    InterleaveOrder order;
    order.planeOfChannel = {1, 0};
    const std::vector<int16_t> a16 = {-32768, 5}, b16 = {1, 32767};
    const int16_t* planes16[] = {a16.data(), b16.data()};
    std::vector<int16_t> out(4);
    ASSERT_TRUE(InterleaveFrameToS16(AV_SAMPLE_FMT_S16P,
                                     reinterpret_cast<const uint8_t* const*>(planes16), order, 2,
                                     out.data()));
    EXPECT_EQ(out, (std::vector<int16_t>{1, -32768, 32767, 5}));
    const std::vector<int32_t> a32 = {1 << 30, -(1 << 30)}, b32 = {INT32_MIN, 0};
    const int32_t* planes32[] = {a32.data(), b32.data()};
    ASSERT_TRUE(InterleaveFrameToS16(AV_SAMPLE_FMT_S32P,
                                     reinterpret_cast<const uint8_t* const*>(planes32), order, 2,
                                     out.data()));
    EXPECT_EQ(out, (std::vector<int16_t>{-32768, 16384, 0, -16384}));

    // Deeper than 16 bits they become floats, every bit of a 24-bit sample kept, in 16-bit
    // steps scaled as 16-bit samples are.
    EXPECT_EQ(OutputFormatOf(AV_SAMPLE_FMT_S16P), GST_AUDIO_FORMAT_S16);
    EXPECT_EQ(OutputFormatOf(AV_SAMPLE_FMT_S32P), GST_AUDIO_FORMAT_F32);
    EXPECT_EQ(OutputFormatOf(AV_SAMPLE_FMT_FLTP), GST_AUDIO_FORMAT_F32);
    const std::vector<int32_t> c32 = {0x7FFFFF00, 256}, d32 = {INT32_MIN, -256};
    const int32_t* deep[] = {c32.data(), d32.data()};
    std::vector<float> floats(4);
    ASSERT_TRUE(InterleaveFrameToF32(AV_SAMPLE_FMT_S32P,
                                     reinterpret_cast<const uint8_t* const*>(deep), order, 2,
                                     floats.data()));
    constexpr float kScale = 1.0f / 32767.0f;
    EXPECT_EQ(floats, (std::vector<float>{-32768.0f * kScale, (32768.0f - 1.0f / 256) * kScale,
                                          (-1.0f / 256) * kScale, (1.0f / 256) * kScale}));
    EXPECT_FALSE(InterleaveFrameToF32(AV_SAMPLE_FMT_S16P,
                                      reinterpret_cast<const uint8_t* const*>(planes16), order, 2,
                                      floats.data()));
}

TEST(DecodedAudioOrderTest, InterleavingTakesEachChannelFromItsPlane) {
    const std::vector<float> first = {0.5f, -0.25f}, second = {1.0f, 0.0f}, third = {-1.0f, 0.125f};
    const float* planes[] = {first.data(), second.data(), third.data()};
    InterleaveOrder order;
    order.planeOfChannel = {2, 0, 1};
    std::vector<int16_t> out(6, 99);
    InterleaveToS16(planes, order, 2, out.data());
    EXPECT_EQ(out, (std::vector<int16_t>{-32767, 16384, 32767, 4096, -8192, 0}));
}

// Planar floats pass bit for bit, each channel from its plane, over whole groups of eight
// frames and a rest: six channels (a film's) and another count.
TEST(DecodedAudioOrderTest, FloatPlanesInterleaveUnchanged) {
    constexpr int kSamples = 29;
    std::vector<std::vector<float>> values(6, std::vector<float>(kSamples));
    std::vector<const float*> planes;
    for (std::size_t p = 0; p < values.size(); ++p) {
        for (int i = 0; i < kSamples; ++i) values[p][i] = 0.001f * i - 0.3f * p;
        planes.push_back(values[p].data());
    }
    values[0][0] = -0.0f;
    values[1][1] = std::numeric_limits<float>::denorm_min();
    for (const std::vector<int>& planeOfChannel : std::vector<std::vector<int>>{
             {0, 1, 2, 3, 4, 5}, {0, 1, 2, 5, 3, 4}, {5, 4, 3, 2, 1, 0}, {1, 0, 2}}) {
        InterleaveOrder order;
        order.planeOfChannel = planeOfChannel;
        const std::size_t channels = planeOfChannel.size();
        std::vector<float> out(kSamples * channels), expected;
        for (int i = 0; i < kSamples; ++i)
            for (const int plane : planeOfChannel) expected.push_back(values[plane][i]);
        ASSERT_TRUE(InterleaveFrameToF32(AV_SAMPLE_FMT_FLTP,
                                         reinterpret_cast<const uint8_t* const*>(planes.data()),
                                         order, kSamples, out.data()));
        EXPECT_EQ(std::memcmp(out.data(), expected.data(), out.size() * sizeof(float)), 0);
    }
}

// --- In a file's graph ---------------------------------------------------------------------

using Ac3DecoderGraphTest = GraphFileTest;

// Runs the graph of `path` to its end into `receiver`, which counts the values only.
void RunCounting(GraphRun& run, const std::string& path, CollectingReceiver& receiver) {
    ASSERT_EQ(run.Render(path).Reason(), "");
    ASSERT_TRUE(run.ReplaceRenderer(receiver));
    receiver.KeepSamples(false);
    ASSERT_EQ(run.RunToEnd(kRunLimit), GraphRun::Outcome::kEnded);
}

TEST_F(Ac3DecoderGraphTest, DecodebinPicksItForRawAc3VobAndMkvAndItCompressesNothing) {
    const std::string inputs[] = {Make("film.ac3", "-c:a ac3 -f ac3"), Make("film.vob", kVobEncode),
                                  Make("film.mkv", "-c:a eac3")};
    for (const std::string& path : inputs) {
        GraphRun run;
        ASSERT_EQ(run.Render(path).Reason(), "");
        CollectingReceiver receiver;
        ASSERT_TRUE(run.ReplaceRenderer(receiver));
        receiver.KeepSamples(false);
        ASSERT_EQ(run.RunToEnd(kRunLimit), GraphRun::Outcome::kEnded) << path;
        const std::vector<GstElement*> decoders =
            ElementsOfKlass(run.Graph().Pipeline(), "Decoder", "Audio");
        ASSERT_EQ(decoders.size(), 1u) << path;
        EXPECT_EQ(FactoryOf(decoders[0]), kAc3DecoderFactoryName) << path;
        double scale = -1.0;
        g_object_get(decoders[0], kAc3DecoderDrcProperty, &scale, nullptr);
        EXPECT_EQ(scale, 0.0) << path;
        const StreamFormat format = receiver.Format();
        EXPECT_EQ(format.rate, kInputRate) << path;
        EXPECT_EQ(format.channels, 6) << path;
        EXPECT_TRUE(format.f32) << path;  // the codec's floats, uncut
        EXPECT_EQ(format.layoutName, "5.1") << path;
        EXPECT_GE(receiver.Count(), static_cast<std::size_t>(kInputRate * kInputSeconds * 6))
            << path;
        // Codec frames that follow on from each other arrive together, not one by one.
        EXPECT_LE(receiver.Deliveries(), kInputRate * kInputSeconds / OutputBatch::kSamples + 2)
            << path;
    }
}

// 5.1 at 48000 Hz, then a stereo stretch at 44100 Hz: the stretch is converted to the first
// rate, its channels placed into the six, and the change is noted once with its time.
TEST_F(Ac3DecoderGraphTest, AFormatChangeMidStreamKeepsTheFirstRateAndIsNoted) {
    const std::string film = Make("film51.ac3", "-t 1 -c:a ac3 -f ac3");
    const std::string stereo =
        Make("stereo.ac3", "-t 1 -c:a ac3 -f ac3", "-f lavfi -i sine=f=500:r=44100:d=1 -ac 2");
    std::vector<uint8_t> bytes = ReadBytes(film);
    const std::vector<uint8_t> second = ReadBytes(stereo);
    bytes.insert(bytes.end(), second.begin(), second.end());
    const std::string joined = folder->File("joined.ac3");
    WriteBytes(joined, bytes);

    GraphRun run;
    CollectingReceiver receiver;
    ASSERT_NO_FATAL_FAILURE(RunCounting(run, joined, receiver));
    EXPECT_GE(receiver.FormatCalls(), 2);
    EXPECT_EQ(receiver.Format().layoutName, "stereo");
    EXPECT_EQ(receiver.Format().rate, kInputRate);
    EXPECT_TRUE(receiver.Format().placed);
    ASSERT_EQ(run.Graph().Repairs().stretches.size(), 1u);
    EXPECT_NEAR(static_cast<double>(run.Graph().Repairs().stretches[0].at) / GST_SECOND, 1.0, 0.05);
}

TEST_F(Ac3DecoderGraphTest, DamagedAc3DecodesToTheEnd) {
    const std::string intact = Make("intact.ac3", "-c:a ac3 -f ac3");
    const std::string damaged = folder->File("damaged.ac3");
    ASSERT_TRUE(DamageMiddle(intact, damaged));
    GraphRun run;
    CollectingReceiver receiver;
    ASSERT_NO_FATAL_FAILURE(RunCounting(run, damaged, receiver));
    // The frames after the damage arrive too: more than the 40 % before it.
    EXPECT_GT(receiver.Count(), static_cast<std::size_t>(kInputRate * kInputSeconds * 6 / 2));
    EXPECT_LE(receiver.Count(), static_cast<std::size_t>(kInputRate * kInputSeconds * 6 * 11 / 10));
}

// A raw stream that ends inside its last frame keeps its length: the frame the parser held
// back stands as silence and is reported once, where it begins; one that ends with a whole
// frame reports nothing.
TEST_F(Ac3DecoderGraphTest, AStreamEndingInsideAFrameKeepsItsLengthAndReportsTheFrame) {
    for (const char* format : {"ac3", "eac3"}) {
        SCOPED_TRACE(format);
        const std::string intact = Make(std::string("whole.") + format,
                                        std::string("-t 1 -c:a ") + format + " -f " + format);
        std::vector<uint8_t> bytes = ReadBytes(intact);
        bytes.resize(bytes.size() - 100);
        const std::string cut = folder->File(std::string("cut.") + format);
        WriteBytes(cut, bytes);
        std::size_t intactCount = 0;
        for (const std::string& path : {intact, cut}) {
            GraphRun run;
            CollectingReceiver receiver;
            ASSERT_NO_FATAL_FAILURE(RunCounting(run, path, receiver));
            const std::vector<DecoderDamage> damage = run.Graph().TakeDecoderDamage();
            if (path == intact) {
                intactCount = receiver.Count();
                EXPECT_TRUE(damage.empty());
                continue;
            }
            EXPECT_EQ(receiver.Count(), intactCount);
            ASSERT_EQ(damage.size(), 1u);
            ASSERT_TRUE(damage[0].atNs.has_value());
            // The last frame (1536 samples a channel) begins 32 ms before the end.
            const double end = static_cast<double>(intactCount) / 6 / kInputRate;
            EXPECT_NEAR(static_cast<double>(*damage[0].atNs) / GST_SECOND, end - 0.032, 0.002);
        }
    }
}

}  // namespace
}  // namespace tavrisk::test
