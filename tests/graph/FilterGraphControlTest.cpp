// SPDX-License-Identifier: GPL-3.0-or-later
#include <glib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "graph/Ac3DecoderElement.h"
#include "graph/FilterGraphControl.h"
#include "graph/GraphRuntime.h"
#include "platform/LibraryLog.h"
#include "tests/graph/GraphFileTest.h"
#include "tests/graph/GraphInputs.h"
#include "tests/graph/GraphTestRun.h"
#include "tests/support/TestSupport.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tavrisk::test {
namespace {

constexpr auto kPlayLimit = std::chrono::seconds(20);
constexpr int kFilmChannelCount = 6;
// Long enough for a stray delivery to show up.
constexpr auto kSettle = std::chrono::milliseconds(100);

void ExpectFilmChannels(const std::vector<int16_t>& samples, const std::string& input) {
    PcmAudio audio{kFilmChannelCount, kInputRate, samples};
    for (int slot = 0; slot < kFilmChannelCount; ++slot) {
        const std::vector<double> channel = audio.Channel(slot);
        const double own = ToneAmplitude(channel, kWavTones[kWavChannelOfSlot[slot]], kInputRate);
        EXPECT_GT(own, 3000.0) << input << " slot " << slot;
        for (int other = 0; other < kFilmChannelCount; ++other) {
            if (other == kWavChannelOfSlot[slot]) continue;
            EXPECT_LT(ToneAmplitude(channel, kWavTones[other], kInputRate), own * 0.05)
                << input << " slot " << slot << " tone of WAV channel " << other;
        }
    }
}

struct SixChannelInput {
    const char* name;
    const char* encode;
    const char* decoder;  // what GStreamer's ranks pick
    bool floats;          // the decoder gives more than 16 bits: they arrive as floats
};

void PrintTo(const SixChannelInput& input, std::ostream* out) {
    *out << input.name;
}

class SixChannelInputTest : public GraphFileTest,
                            public ::testing::WithParamInterface<SixChannelInput> {};

TEST_P(SixChannelInputTest, WrapperGetsFilmOrderTheSameInBothRuns) {
    const SixChannelInput& input = GetParam();
    const std::string path =
        std::strlen(input.encode) ? Make(input.name, input.encode) : GraphFileTest::wav;
    GraphRun run;
    ASSERT_EQ(run.Render(path).Reason(), "");
    const std::string stream = run.Graph().RenderedStream();
    EXPECT_NE(stream.find("5.1, 48000 Hz, " + std::string(input.decoder)), std::string::npos)
        << stream;
    EXPECT_EQ(FactoryOf(run.Rows().back()), "autoaudiosink");

    CollectingReceiver receiver;
    ASSERT_TRUE(run.ReplaceRenderer(receiver));
    EXPECT_EQ(run.Rows().back(), run.Wrapper());
    std::this_thread::sleep_for(kSettle);
    EXPECT_EQ(receiver.Count(), 0u) << "delivered before the run";
    ASSERT_EQ(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kEnded);
    const StreamFormat format = receiver.Format();
    EXPECT_EQ(format.channels, kFilmChannelCount);
    EXPECT_EQ(format.rate, kInputRate);
    EXPECT_EQ(format.f32, input.floats);
    EXPECT_EQ(format.s16, !input.floats);
    EXPECT_EQ(format.layoutName, "5.1");
    const std::size_t firstRun = receiver.Count();
    EXPECT_NEAR(static_cast<double>(firstRun),
                static_cast<double>(kInputRate * kInputSeconds * kFilmChannelCount),
                0.05 * kInputRate * kInputSeconds * kFilmChannelCount);
    ExpectFilmChannels(receiver.Samples(), input.name);

    EXPECT_TRUE(run.Graph().IsStopped());
    std::this_thread::sleep_for(kSettle);
    EXPECT_EQ(receiver.Count(), firstRun) << "delivered while stopped";
    receiver.KeepSamples(false);
    receiver.ResetCount();
    ASSERT_EQ(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kEnded);
    EXPECT_EQ(receiver.Count(), firstRun);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SixChannelInputTest,
    ::testing::Values(
        SixChannelInput{"wav", "", "PCM", false},
        SixChannelInput{"film.vob",
                        "-f lavfi -i testsrc=size=160x120:rate=25 -map 1:v -map 0:a "
                        "-shortest -c:v mpeg2video -c:a ac3 -ac 6 -f vob",
                        "tavriskac3dec", true},
        SixChannelInput{"film.dts", "-c:a dca -strict -2 -f dts", "tavriskac3dec", true},
        SixChannelInput{"film.mkv", "-c:a eac3", "tavriskac3dec", true},
        SixChannelInput{"film.mp4", "-c:a aac", "avdec_aac", true},
        SixChannelInput{"film.flac", "-c:a flac", "tavriskac3dec", false},
        SixChannelInput{"film24.flac", "-c:a flac -sample_fmt s32", "tavriskac3dec", true}),
    [](const ::testing::TestParamInfo<SixChannelInput>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (c == '.') c = '_';
        }
        return name;
    });

TEST_F(GraphFileTest, OtherLayoutsAreAnnouncedByName) {
    struct Case {
        const char* name;
        const char* encode;
        int channels;
        const char* layout;
    };
    // The FLV file's own type is a video name: it must still be opened for its audio.
    const Case cases[] = {
        {"stereo.mp3", "-map 0:a -ac 2 -c:a libmp3lame", 2, "stereo"},
        {"wide.flac", "-map 0:a -ac 8 -c:a flac", 8, "7.1"},
        {"clip.flv", "-map 0:a -map 1:v -ac 2 -c:a libmp3lame -c:v flv -f flv", 2, "stereo"}};
    for (const Case& c : cases) {
        const std::string path =
            Make(c.name, c.encode,
                 "-f lavfi -i sine=f=440:d=1 -f lavfi -i testsrc=size=160x120:rate=10:duration=1");
        GraphRun run;
        ASSERT_EQ(run.Render(path).Reason(), "") << c.name;
        CollectingReceiver receiver;
        ASSERT_TRUE(run.ReplaceRenderer(receiver)) << c.name;
        ASSERT_EQ(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kEnded) << c.name;
        EXPECT_EQ(receiver.Format().channels, c.channels) << c.name;
        EXPECT_EQ(receiver.Format().layoutName, c.layout) << c.name;
        EXPECT_TRUE(receiver.Format().s16 || receiver.Format().f32) << c.name;
    }
}

TEST_F(GraphFileTest, FileGraphIsBuiltInOrderAndItsRendererNeverRuns) {
    const std::string path = Make("order.flac", "-c:a flac");
    GraphRun run;
    ASSERT_EQ(run.Render(path).Reason(), "");
    std::vector<std::string> factories;
    for (GstElement* element : run.Rows()) factories.push_back(FactoryOf(element));
    EXPECT_EQ(factories,
              (std::vector<std::string>{"filesrc", "decodebin", "audioconvert", "audioresample",
                                        "capsfilter", "queue", "autoaudiosink"}));
    EXPECT_EQ(run.Graph().CountFilters(), 7);
    GstElement* renderer = run.Rows().back();
    GstState current = GST_STATE_VOID_PENDING;
    gst_element_get_state(renderer, &current, nullptr, 0);
    EXPECT_EQ(current, GST_STATE_NULL);
    // Playing the file's own renderer is refused: only the wrapper may take the audio.
    EXPECT_EQ(run.Graph().RunGraph().Reason(), "the file's renderer is still in the graph");
    EXPECT_TRUE(run.Graph().IsStopped());

    GstElement* stranger = gst_element_factory_make("fakesink", nullptr);
    gst_object_ref_sink(stranger);
    EXPECT_EQ(run.Graph().RemoveGraphFilter(stranger).Reason(),
              "the element could not be taken out of the graph");
    gst_object_unref(stranger);

    run.Graph().Clear();
    EXPECT_EQ(run.Graph().CountFilters(), 0);
    EXPECT_EQ(run.Graph().RenderedStream(), "");
}

// Our AC-3 decoder is picked, or a52dec when ours is ranked below it; neither compresses.
TEST_F(GraphFileTest, FilmVideoIsNotDecodedAndDecodersCompressNothing) {
    const std::string path = Make("video.vob",
                                  "-f lavfi -i testsrc=size=160x120:rate=25 -map 1:v -map 0:a "
                                  "-shortest -c:v mpeg2video -c:a ac3 -ac 6 -f vob");
    GstPluginFeature* ours = GST_PLUGIN_FEATURE(gst_element_factory_find(kAc3DecoderFactoryName));
    ASSERT_NE(ours, nullptr);
    for (const bool oursFirst : {true, false}) {
        gst_plugin_feature_set_rank(ours, oursFirst ? kAc3DecoderRank : GST_RANK_NONE);
        GraphRun run;
        ASSERT_EQ(run.Render(path).Reason(), "");
        EXPECT_TRUE(ElementsOfKlass(run.Graph().Pipeline(), "Decoder", "Video").empty());
        const std::vector<GstElement*> decoders =
            ElementsOfKlass(run.Graph().Pipeline(), "Decoder", "Audio");
        ASSERT_EQ(decoders.size(), 1u);
        if (oursFirst) {
            EXPECT_EQ(FactoryOf(decoders[0]), kAc3DecoderFactoryName);
            double scale = -1.0;
            g_object_get(decoders[0], kAc3DecoderDrcProperty, &scale, nullptr);
            EXPECT_EQ(scale, 0.0);
        } else {
            EXPECT_EQ(FactoryOf(decoders[0]), "a52dec");
            gboolean drc = TRUE;
            g_object_get(decoders[0], "drc", &drc, nullptr);
            EXPECT_FALSE(drc);
        }
    }
    gst_plugin_feature_set_rank(ours, kAc3DecoderRank);
    gst_object_unref(ours);
}

// The 5.1 track is linked unless another is asked for; every track is described.
TEST_F(GraphFileTest, SeveralAudioStreamsLinkTheOneWithMostChannelsOrTheOneAskedFor) {
    const std::string path = Make("two.mkv", "-map 1:a -map 0:a -c:a:0 flac -c:a:1 ac3",
                                  "-i " + Quote(wav) + " -f lavfi -i sine=f=300:d=1");
    GraphRun run;
    ASSERT_EQ(run.Render(path).Reason(), "");
    EXPECT_EQ(run.Graph().RenderedStream().rfind("audio track 2 of 2: 5.1", 0), 0u)
        << run.Graph().RenderedStream();
    EXPECT_EQ(run.Graph().RenderedStreams().size(), 2u);

    run.Graph().WantStream(0);
    ASSERT_EQ(run.Render(path).Reason(), "");
    EXPECT_EQ(run.Graph().RenderedStream().rfind("audio track 1 of 2: mono", 0), 0u)
        << run.Graph().RenderedStream();
    run.Graph().WantStream(2);
    const GraphOutcome missing = run.Render(path);
    EXPECT_EQ(missing.Problem(), BuildProblem::kNoSuchTrack);
    EXPECT_EQ(missing.Reason(), "it has 2 audio tracks, and there is no track 3");
}

// A graph rewired by hand after it was rendered runs as it is now: the data held from the
// track it was rendered with are not what the wrapper hears first.
TEST_F(GraphFileTest, AGraphRewiredByHandRunsAsItIsNow) {
    const std::string path = Make("two.mkv", "-map 1:a -map 0:a -c:a:0 flac -c:a:1 ac3",
                                  "-i " + Quote(wav) + " -f lavfi -i sine=f=300:d=1");
    GraphRun run;
    ASSERT_EQ(run.Render(path).Reason(), "");
    CollectingReceiver receiver;
    ASSERT_TRUE(run.ReplaceRenderer(receiver));
    GstElement* decoder = run.Rows()[1];
    GstPad* input = gst_element_get_static_pad(run.Rows()[2], "sink");
    GstPad* linked = gst_pad_get_peer(input);
    ASSERT_TRUE(linked);
    GstPad* other = nullptr;
    GstIterator* pads = gst_element_iterate_src_pads(decoder);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        auto* pad = GST_PAD(g_value_get_object(&item));
        if (pad != linked && !other) other = GST_PAD(gst_object_ref(pad));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    ASSERT_TRUE(other);
    EXPECT_TRUE(run.Graph().DisconnectPin(input));
    EXPECT_TRUE(run.Graph().ConnectPins(other, input));
    EXPECT_EQ(run.RunToEnd(std::chrono::seconds(20)), GraphRun::Outcome::kEnded);
    EXPECT_EQ(receiver.FormatCalls(), 1);
    EXPECT_EQ(receiver.Format().channels, 1);
    gst_object_unref(other);
    gst_object_unref(linked);
    gst_object_unref(input);
}

// After an error or an end the graph waits where it stopped (a job ending then waits for no
// preroll of the start), and the next run starts again.
TEST_F(GraphFileTest, ErrorIsKeptOnceAndTheNextRunStartsAgain) {
    GraphRun run;
    ASSERT_EQ(run.Render(wav).Reason(), "");
    GstElement* capsFilter = run.Rows()[4];
    CollectingReceiver receiver;
    ASSERT_TRUE(run.ReplaceRenderer(receiver));
    receiver.KeepSamples(false);

    GError* fault = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "broken frame");
    gst_element_post_message(capsFilter,
                             gst_message_new_error(GST_OBJECT(capsFilter), fault, "test"));
    g_error_free(fault);
    ASSERT_EQ(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kFailed);
    ASSERT_TRUE(run.LastError());
    EXPECT_EQ(run.LastError()->element, "CapsFilter");
    EXPECT_EQ(run.LastError()->text, "broken frame");
    EXPECT_FALSE(run.Graph().TakeError()) << "an error is taken once";

    for (int pass = 0; pass < 2; ++pass) {
        receiver.ResetCount();
        ASSERT_EQ(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kEnded);
        EXPECT_EQ(receiver.Count(),
                  static_cast<std::size_t>(kInputRate * kInputSeconds * kFilmChannelCount));
        EXPECT_GT(run.Graph().GetPosition(), kInputSeconds - 0.1);
    }
}

TEST_F(GraphFileTest, RawAc3ReportsHowMuchOfTheFileWasRead) {
    const std::string path = Make("film.ac3", "-c:a ac3 -f ac3");
    GraphRun run;
    ASSERT_EQ(run.Render(path).Reason(), "");
    CollectingReceiver receiver;
    ASSERT_TRUE(run.ReplaceRenderer(receiver));
    ASSERT_EQ(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kEnded);
    EXPECT_GE(run.Graph().GetDuration(), 0.0);
    const double fraction = run.Graph().ByteFraction();
    EXPECT_GE(fraction, 0.0);
    EXPECT_LE(fraction, 1.0);
    EXPECT_GT(receiver.Count(), 0u);
}

TEST_F(GraphFileTest, DamagedFilesEndWithoutHanging) {
    const std::string vob = Make("intact.vob",
                                 "-f lavfi -i testsrc=size=160x120:rate=25 -map 1:v -map 0:a "
                                 "-shortest -c:v mpeg2video -c:a ac3 -ac 6 -f vob");
    const std::string mkv = Make("intact.mkv", "-c:a eac3");
    const std::string damaged = folder->File("damaged.vob");
    const std::string truncated = folder->File("truncated.mkv");
    ASSERT_TRUE(DamageMiddle(vob, damaged));
    ASSERT_TRUE(Truncate(mkv, truncated, 0.6));
    for (const std::string& path : {damaged, truncated}) {
        GraphRun run;
        if (const GraphOutcome rendered = run.Render(path); !rendered) {
            EXPECT_FALSE(rendered.Reason().empty()) << path;
            continue;
        }
        CollectingReceiver receiver;
        ASSERT_TRUE(run.ReplaceRenderer(receiver)) << path;
        EXPECT_NE(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kTimedOut) << path;
    }
}

TEST_F(GraphFileTest, FilesWithoutAudioAreRefusedWithAReason) {
    const std::string text = folder->File("notes.txt");
    WriteBytes(text, std::vector<uint8_t>(4096, 'x'));
    const std::string silentFilm =
        Make("silent.mkv", "-t 1 -c:v mpeg2video", "-f lavfi -i testsrc=size=160x120:rate=25");
    const std::string stub = folder->File("stub.mkv");
    WriteBytes(stub, {0x1A});
    // A text file is recognised as text, not as unknown data.
    const std::pair<std::string, BuildProblem> cases[] = {
        {folder->File("missing.vob"), BuildProblem::kOther},
        {text, BuildProblem::kOther},
        {stub, BuildProblem::kNotMedia},
        {silentFilm, BuildProblem::kNoAudioStream}};
    for (const auto& [path, problem] : cases) {
        GraphRun run;
        const GraphOutcome rendered = run.Render(path);
        EXPECT_FALSE(rendered) << path;
        EXPECT_FALSE(rendered.Reason().empty()) << path;
        EXPECT_EQ(rendered.Problem(), problem) << path << ": " << rendered.Reason();
    }
}

// Without a pipeline every operation fails, and says why.
TEST(FilterGraphControlTest, OperationsWithoutAGraphFailWithTheReason) {
    FilterGraphControl graph;
    const GraphOutcome outcomes[] = {graph.RenderFile("film.vob"), graph.RunGraph(),
                                     graph.StopAndRewind(), graph.AddGraphFilter(nullptr),
                                     graph.RemoveGraphFilter(nullptr)};
    for (const GraphOutcome& outcome : outcomes) EXPECT_EQ(outcome.Reason(), "there is no graph");
    EXPECT_EQ(graph.ConnectPins(nullptr, nullptr).Reason(), "a pin is missing");
}

// A message waits for the owner by the time its notice comes, not until the owner's next tick.
TEST(FilterGraphControlTest, AMessageWaitsForTheOwnerWhenItsNoticeComes) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    FilterGraphControl graph;
    std::optional<GraphError> drained;
    ASSERT_TRUE(graph.CreateGraph([&] {
        graph.DrainEvents();
        if (!drained) drained = graph.TakeError();
    }));
    GST_ELEMENT_ERROR(graph.Pipeline(), STREAM, DECODE, ("damaged"), (nullptr));
    EXPECT_EQ(drained ? drained->text : "", "damaged");
}

// A graph taken back to ready after its end, as the editor does before it changes one, runs
// again from the start with nothing to rewind.
TEST(FilterGraphControlTest, AGraphTakenBackToReadyAfterItsEndRunsAgain) {
    GraphRun run;
    GstElement* source = gst_element_factory_make("audiotestsrc", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(source, "num-buffers", 4, nullptr);
    ASSERT_TRUE(run.Graph().AddGraphFilter(source) && run.Graph().AddGraphFilter(sink));
    ASSERT_TRUE(gst_element_link(source, sink));
    ASSERT_EQ(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kEnded);
    gst_element_set_state(run.Graph().Pipeline(), GST_STATE_READY);
    EXPECT_EQ(run.RunToEnd(kPlayLimit), GraphRun::Outcome::kEnded);
}

// A decoder's warnings are damage on the programme's clock: ours by the timestamp and frame
// count of their details, any other decoder's as one place; other elements' are not damage.
TEST(DecoderDamageTest, DecoderWarningsAreNotedOnTheProgrammesClock) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    FilterGraphControl graph;
    ASSERT_TRUE(graph.CreateGraph());
    GstElement* decoder = gst_element_factory_make(kAc3DecoderFactoryName, nullptr);
    GstElement* other = gst_element_factory_make("identity", nullptr);
    gst_bin_add_many(GST_BIN(graph.Pipeline()), decoder, other, nullptr);
    ASSERT_NE(gst_element_set_state(graph.Pipeline(), GST_STATE_READY), GST_STATE_CHANGE_FAILURE);
    GstSegment segment;  // the programme starts at 0.54 s of the timestamps, as in a VOB
    gst_segment_init(&segment, GST_FORMAT_TIME);
    segment.start = segment.time = 540 * GST_MSECOND;
    GstPad* pad = gst_element_get_static_pad(decoder, "src");
    gst_pad_set_active(pad, TRUE);
    gst_pad_store_sticky_event(pad, gst_event_new_segment(&segment));
    gst_object_unref(pad);
    const auto warn = [](GstElement* from, GstStructure* details) {
        GError* text = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "damaged");
        gst_element_post_message(
            from, gst_message_new_warning_with_details(GST_OBJECT(from), text, "", details));
        g_error_free(text);
    };
    warn(decoder,
         gst_structure_new(kDamageDetails, "timestamp", G_TYPE_UINT64, guint64{1540 * GST_MSECOND},
                           "frames", G_TYPE_UINT, 5u, nullptr));
    warn(decoder, nullptr);
    warn(other, nullptr);
    const std::vector<DecoderDamage> damage = graph.TakeDecoderDamage();
    ASSERT_EQ(damage.size(), 2u);
    EXPECT_EQ(damage[0].atNs, std::optional<uint64_t>(1000 * GST_MSECOND));
    EXPECT_EQ(damage[0].frames, 5);
    EXPECT_EQ(damage[1].atNs, std::nullopt);  // where the stream stands
    EXPECT_EQ(damage[1].frames, 1);
    gst_element_set_state(graph.Pipeline(), GST_STATE_NULL);
}

// libav's lines and GLib's warnings reach the library log, not standard error; a watch counts
// the errors of its own thread only.
TEST(LibraryLogTest, LibraryLinesAreCaughtCountedAndKeptInsteadOfPrinted) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    LibraryLog::CaptureLibav();
    LibraryLog::TakeLines();
    const uint64_t before = LibraryLog::Count();
    ::testing::internal::CaptureStderr();
    const LibavErrorWatch watch;
    av_log(nullptr, AV_LOG_ERROR, "spoilt block %d\n", 7);
    av_log(nullptr, AV_LOG_INFO, "just saying\n");
    std::thread([] { av_log(nullptr, AV_LOG_ERROR, "elsewhere\n"); }).join();
    g_log("GStreamer", G_LOG_LEVEL_WARNING, "a pad is %s", "unlinked");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(watch.Errors(), 1);
    EXPECT_EQ(LibraryLog::Count() - before, 3u);
    EXPECT_EQ(LibraryLog::TakeLines(),
              (std::vector<std::string>{"libav: spoilt block 7", "libav: elsewhere",
                                        "GStreamer: a pad is unlinked"}));
}

}  // namespace
}  // namespace tavrisk::test
