// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "graph/Ac3DecoderElement.h"
#include "graph/GraphRuntime.h"
#include "graph/Mp2DecoderElement.h"
#include "graph/Mp2EncoderElement.h"
#include "graph/WrapperSink.h"
#include "platform/UsableCores.h"
#include "tests/mp2dec/TestFrameWriter.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr int kRate = 48000;
// The tone of each channel of the 5.1 input, in the file order L R C LFE LS RS.
constexpr double kTones[] = {300.0, 500.0, 700.0, 60.0, 1100.0, 1500.0};
// The same channels in the order a 5.1 WAV is read back: L, C, R, LS, RS, LFE.
constexpr int kInputOfDecoded[] = {0, 2, 1, 4, 5, 3};

std::string WithPlugin(const std::string& command) {
    return std::string("GST_PLUGIN_PATH=") + TAVRISK_GST_PLUGIN_DIR + " " + command + " 2>&1";
}

// Encodes `input`, read by `reader`, with the encoder element and its `properties` into `mp2`.
CommandResult EncodeWithElement(const std::string& input, const std::string& reader,
                                const std::string& properties, const std::string& mp2) {
    return RunCommand(WithPlugin("gst-launch-1.0 -q filesrc location=" + Quote(input) + " ! " +
                                 reader + " ! audioconvert ! " + kMp2EncoderFactoryName + " " +
                                 properties + " ! filesink location=" + Quote(mp2)));
}

// A six-channel WAV of the film's tones, one per channel.
void WriteFilmTones(const std::string& path, int frames) {
    ToneSet tones;
    tones.frequencies.assign(std::begin(kTones), std::end(kTones));
    tones.amplitude = 4000.0;
    WritePlainWav(path, MakeTones(tones, kRate, frames));
}

// --- The plugins as GStreamer's own programs load them -------------------------------------

TEST(Mp2ElementsRegistration, InTheLoadablePlugin) {
    if (!HaveProgram("gst-inspect-1.0")) GTEST_SKIP() << "gst-inspect-1.0 is not installed";
    for (const auto& [name, longName] : {std::pair{kMp2EncoderFactoryName, kMp2EncoderLongName},
                                         std::pair{kMp2DecoderFactoryName, kMp2DecoderLongName}}) {
        SCOPED_TRACE(name);
        const CommandResult result = RunCommand(WithPlugin(std::string("gst-inspect-1.0 ") + name));
        ASSERT_EQ(result.exitCode, 0) << result.output;
        EXPECT_NE(result.output.find(longName), std::string::npos);
    }
}

TEST(Ac3DecoderRegistration, LoadablePluginCarriesTheDecoder) {
    if (!HaveProgram("gst-inspect-1.0")) GTEST_SKIP() << "gst-inspect-1.0 is not installed";
    const CommandResult result =
        RunCommand(WithPlugin(std::string("gst-inspect-1.0 ") + kAc3DecoderFactoryName));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find(kAc3DecoderLongName), std::string::npos);
    EXPECT_NE(result.output.find("primary + 1"), std::string::npos) << result.output;
}

TEST(WrapperSinkRegistration, LoadablePluginIsListedWithRankNone) {
    if (!HaveProgram("gst-inspect-1.0")) GTEST_SKIP() << "gst-inspect-1.0 is not installed";
    const CommandResult result =
        RunCommand(WithPlugin(std::string("gst-inspect-1.0 ") + kWrapperFactoryName));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("Tavrisk Wrapper"), std::string::npos);
    EXPECT_NE(result.output.find("none (0)"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("ANY"), std::string::npos);
    // It names the project's version, licence and origin.
    for (const char* field : {"Version                  " TAVRISK_VERSION,
                              "License                  GPL", "Origin URL               https://"})
        EXPECT_NE(result.output.find(field), std::string::npos) << field << "\n" << result.output;
}

// --- The codec's elements in GStreamer's own pipelines --------------------------------------

// GStreamer's order of the 5.1 positions, which wavenc keeps without a mask: the input's.
constexpr int kInputOfPositioned[] = {0, 1, 2, 3, 4, 5};

// Every channel of `wav` carries its own tone (channel c that of input channel
// inputOfChannel[c]), every other at least 40 dB below.
void ExpectTonesInPlace(const std::string& wav, const int* inputOfChannel) {
    const PcmAudio decoded = ReadWav(wav);
    ASSERT_EQ(decoded.channels, 6);
    EXPECT_NEAR(static_cast<double>(decoded.Frames()), 3.0 * kRate, 1152.0);
    for (int d = 0; d < 6; ++d) {
        SCOPED_TRACE(d);
        const std::vector<double> channel = decoded.Channel(d);
        const double own = ToneAmplitude(channel, kTones[inputOfChannel[d]], kRate);
        EXPECT_GT(own, 1000.0);
        for (int other = 0; other < 6; ++other) {
            if (other == inputOfChannel[d]) continue;
            const double leak = ToneAmplitude(channel, kTones[other], kRate);
            EXPECT_LT(20.0 * std::log10(std::max(leak, 1e-9) / own), -40.0)
                << "tone " << kTones[other];
        }
    }
}

// The Layer II decoders registered here (ours in-process, with the loadable plugin's rank) in
// the order decodebin tries them: by rank, then by name.
std::vector<std::string> LayerTwoDecoders() {
    GList* all =
        gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER, GST_RANK_MARGINAL);
    GstCaps* caps = gst_caps_from_string("audio/mpeg, mpegversion=1, layer=2, parsed=true");
    GList* fitting = g_list_sort(gst_element_factory_list_filter(all, caps, GST_PAD_SINK, FALSE),
                                 gst_plugin_feature_rank_compare_func);
    std::vector<std::string> names;
    for (GList* f = fitting; f != nullptr; f = f->next) names.push_back(GST_OBJECT_NAME(f->data));
    gst_plugin_feature_list_free(fitting);
    gst_plugin_feature_list_free(all);
    gst_caps_unref(caps);
    return names;
}

// A 5.1 film through decodebin and the encoder element, then our checker and decoders.
TEST(Mp2ElementsPipeline, AFilmsSixTonesComeBackInPlace) {
    if (!HaveProgram("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    TempDir dir;
    const std::string wav6 = dir.File("tones.wav");
    WriteFilmTones(wav6, 3 * kRate);
    const std::string film = dir.File("film.vob");
    ASSERT_TRUE(Ffmpeg("-i " + Quote(wav6) + " -c:a ac3 -b:a 448k -f vob " + Quote(film)));
    for (int bitrate : {192, 384}) {
        SCOPED_TRACE(bitrate);
        const std::string mp2 = dir.File("film.mp2");
        const CommandResult run =
            EncodeWithElement(film, "decodebin", "bitrate=" + std::to_string(bitrate), mp2);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const CommandResult checked = RunCli("check " + Quote(mp2));
        ASSERT_EQ(checked.exitCode, 0) << checked.output;
        // Our decoder, as the command and as the element behind Matroska's demuxer.
        const std::string wav = dir.File("film.wav");
        ASSERT_EQ(RunCli("decode " + Quote(mp2) + " " + Quote(wav) + " --yes").exitCode, 0);
        ExpectTonesInPlace(wav, kInputOfDecoded);
        const std::string mkv = dir.File("film.mkv");
        ASSERT_TRUE(Ffmpeg("-i " + Quote(mp2) + " -c copy " + Quote(mkv)));
        const CommandResult decoded = RunCommand(WithPlugin(
            "gst-launch-1.0 -q filesrc location=" + Quote(mkv) + " ! matroskademux ! " +
            "mpegaudioparse ! " + kMp2DecoderFactoryName + " ! wavenc ! filesink location=" +
            Quote(wav)));
        ASSERT_EQ(decoded.exitCode, 0) << decoded.output;
        ExpectTonesInPlace(wav, kInputOfPositioned);
        // decodebin takes our decoder when its rank puts it first: all six channels then, in
        // Matroska and in a DVD-style program stream after MPEG-2 video.
        if (LayerTwoDecoders().front() != kMp2DecoderFactoryName) continue;
        const std::string vob = dir.File("ours.vob");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=d=3:s=160x120:r=25 -i " + Quote(mp2) +
                           " -c:v mpeg2video -c:a copy -f vob " + Quote(vob)));
        for (const std::string& container : {mkv, vob}) {
            const CommandResult played = RunCommand(WithPlugin(
                "gst-launch-1.0 -q filesrc location=" + Quote(container) +
                " ! decodebin name=d d. ! queue ! audio/x-raw,channels=6 ! wavenc ! filesink "
                "location=" +
                Quote(wav) + (container == vob ? " d. ! queue ! video/x-raw ! fakesink" : "")));
            ASSERT_EQ(played.exitCode, 0) << container << played.output;
            ExpectTonesInPlace(wav, kInputOfPositioned);
        }
    }
}

// The encoder element takes the stream's configuration from the input's channel positions,
// and the decoder element gives back the same channels in the same positions.
TEST(Mp2ElementsPipeline, ChannelPositionsChooseTheConfiguration) {
    if (!HaveProgram("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    struct Case {
        const char* layout;
        std::vector<const char*> names;
        const char* configuration;
    };
    const Case cases[] = {
        {"mono", {"FC"}, "configuration 1/0"},
        {"stereo", {"FL", "FR"}, "configuration 2/0"},
        {"4.0", {"FL", "FR", "FC", "BC"}, "configuration 3/1, LFE no"},
        {"quad", {"FL", "FR", "BL", "BR"}, "configuration 2/2, LFE no"},
        {"3.1", {"FL", "FR", "FC", "LFE"}, "configuration 3/0, LFE yes"},
    };
    const std::vector<double> tones = {300.0, 500.0, 700.0, 1100.0};
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        std::vector<double> own(tones.begin(), tones.begin() + static_cast<long>(c.names.size()));
        if (std::string(c.layout) == "3.1") own.back() = 60.0;  // the LFE's
        const ToneGraph graph = MakeToneGraph(c.names, own, c.layout, kRate, 0.5);
        const std::string wav = dir.File("in.wav");
        ASSERT_TRUE(Ffmpeg(graph.inputs + graph.filter + " -c:a pcm_s16le " + Quote(wav)));
        const std::string mp2 = dir.File("out.mp2");
        const CommandResult encoded = EncodeWithElement(wav, "wavparse", "bitrate=192", mp2);
        ASSERT_EQ(encoded.exitCode, 0) << encoded.output;
        const CommandResult info =
            RunCommand(Quote(BinPath("tavrisk-cli")) + " info " + Quote(mp2));
        EXPECT_NE(info.output.find(c.configuration), std::string::npos) << info.output;
        const std::string decoded = dir.File("out.wav");
        const CommandResult run = RunCommand(
            WithPlugin("gst-launch-1.0 -q filesrc location=" + Quote(mp2) + " ! mpegaudioparse ! " +
                       kMp2DecoderFactoryName + " ! wavenc ! filesink location=" + Quote(decoded)));
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const PcmAudio audio = ReadWav(decoded, true);
        ASSERT_EQ(audio.channels, static_cast<int>(c.names.size()));
        for (std::size_t ch = 0; ch < own.size(); ++ch) {
            const std::vector<double> samples = audio.Channel(static_cast<int>(ch));
            EXPECT_GT(ToneAmplitude(samples, own[ch], kRate), 1000.0) << c.names[ch];
            for (std::size_t other = 0; other < own.size(); ++other) {
                const double leak = ToneAmplitude(samples, own[other], kRate);
                EXPECT_GT(ToneAmplitude(samples, own[ch], kRate), other == ch ? 0.0 : 100.0 * leak)
                    << c.names[other] << " tone in " << c.names[ch];
            }
        }
    }
}

// The encoder element codes on the usable cores by default, and its stream is the same on
// any number of threads, a partial last block included.
TEST(Mp2ElementsPipeline, ThreadsLeaveTheStreamAsItIs) {
    if (!HaveProgram("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    GstElement* element = gst_element_factory_make(kMp2EncoderFactoryName, nullptr);
    ASSERT_NE(element, nullptr);
    gint threads = 0;
    g_object_get(element, kMp2EncoderThreadsProperty, &threads, nullptr);
    gst_object_unref(element);
    EXPECT_EQ(threads, std::min(UsableCores(), 64));

    TempDir dir;
    const std::string wav = dir.File("tones.wav");
    WriteFilmTones(wav, 3 * kRate + 500);  // four segments and a bit
    std::vector<std::uint8_t> serial;
    for (int count : {1, 2, 3}) {
        SCOPED_TRACE(count);
        const std::string mp2 = dir.File("out.mp2");
        const CommandResult run =
            EncodeWithElement(wav, "wavparse", "threads=" + std::to_string(count), mp2);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const std::vector<std::uint8_t> bytes = ReadBytes(mp2);
        if (serial.empty()) serial = bytes;
        ASSERT_GT(bytes.size(), 100000u);
        EXPECT_TRUE(bytes == serial);
    }
}

// Plain stereo Layer II from ffmpeg: within 1 LSB of GStreamer's own decoders; damaged copies
// (bits flipped, cut short, zeros) end the pipeline normally, their frames counted.
TEST(Mp2ElementsPipeline, StereoMatchesGStreamersDecoderAndDamageIsPassedOver) {
    if (!HaveProgram("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    const std::vector<std::string> decoders = LayerTwoDecoders();
    if (decoders.size() < 2) GTEST_SKIP() << "GStreamer has no Layer II decoder here";
    TempDir dir;
    // A sink that waits to preroll makes gst-launch-1.0 hang now and then on a file in which
    // the parser finds no frame (whatever the decoder): this one does not wait.
    auto decode = [&](const std::string& mp2, const std::string& decoder, const std::string& raw) {
        return RunCommand(WithPlugin("gst-launch-1.0 -q filesrc location=" + Quote(mp2) +
                                     " ! mpegaudioparse ! " + decoder +
                                     " ! audioconvert dithering=none noise-shaping=none ! "
                                     "audio/x-raw,format=S16LE,channels=2 ! filesink async=false "
                                     "location=" +
                                     Quote(raw)));
    };
    for (int bitrate : {64, 128, 192, 384}) {
        SCOPED_TRACE(bitrate);
        const std::string mp2 = dir.File("stereo.mp2");
        ASSERT_TRUE(
            Ffmpeg("-f lavfi -i sine=440:d=2 -f lavfi -i sine=1234:d=2 -filter_complex "
                   "[0][1]amerge=inputs=2 -c:a mp2 -b:a " +
                   std::to_string(bitrate) + "k " + Quote(mp2)));
        ASSERT_EQ(decode(mp2, kMp2DecoderFactoryName, dir.File("ours.raw")).exitCode, 0);
        const std::vector<int16_t> ours = ReadRawPcm(dir.File("ours.raw"));
        for (const std::string& peer : decoders) {
            if (peer != "avdec_mp2float" && peer != "mpg123audiodec") continue;
            SCOPED_TRACE(peer);
            ASSERT_EQ(decode(mp2, peer, dir.File("theirs.raw")).exitCode, 0);
            const std::vector<int16_t> theirs = ReadRawPcm(dir.File("theirs.raw"));
            ASSERT_EQ(ours.size(), theirs.size());
            int largest = 0;
            for (std::size_t i = 0; i < ours.size(); ++i)
                largest = std::max(largest, std::abs(ours[i] - theirs[i]));
            EXPECT_LE(largest, 1);
        }

        // Through decodebin plain stereo meets the decoder its rank puts first; a
        // single-channel stream comes out as one channel, from ours as from GStreamer's.
        const CommandResult played = RunCommand(WithPlugin(
            "gst-launch-1.0 -v filesrc location=" + Quote(mp2) + " ! decodebin ! fakesink"));
        EXPECT_NE(played.output.find(":" + decoders.front() + "0."), std::string::npos);
        const std::string mono = dir.File("mono.mp2");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=440:d=1 -ac 1 -c:a mp2 -b:a 64k " + Quote(mono)));
        const CommandResult one = RunCommand(
            WithPlugin("gst-launch-1.0 filesrc location=" + Quote(mono) + " ! mpegaudioparse ! " +
                       kMp2DecoderFactoryName + " ! audio/x-raw,channels=1 ! fakesink"));
        EXPECT_EQ(one.exitCode, 0) << one.output;

        std::vector<uint8_t> bytes = ReadBytes(mp2);
        std::vector<uint8_t> flipped = bytes;
        for (std::size_t i = 700; i < flipped.size(); i += 997) flipped[i] ^= 0x10;
        std::vector<uint8_t> cut(bytes.begin(),
                                 bytes.begin() + static_cast<long>(bytes.size() / 3));
        for (const auto& [name, damaged] :
             {std::pair{"flipped.mp2", flipped}, std::pair{"cut.mp2", cut},
              std::pair{"zeros.mp2", std::vector<uint8_t>(4096, 0)}}) {
            SCOPED_TRACE(name);
            WriteBytes(dir.File(name), damaged);
            const CommandResult run =
                decode(dir.File(name), kMp2DecoderFactoryName, dir.File("damaged.raw"));
            EXPECT_EQ(run.output.find("CRITICAL"), std::string::npos) << run.output;
            if (damaged.size() > 4096) {
                EXPECT_EQ(run.exitCode, 0) << run.output;
            }
        }
    }
}

// A stream whose configuration changes (3/2, then 3/0 with a second stereo programme, then
// 2/2) is decoded to its end in the first frame's channels; both are said once.
TEST(Mp2ElementsPipeline, AConfigurationChangeAndASecondProgrammeAreSaidAndDecodedThrough) {
    if (!HaveProgram("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    std::vector<uint8_t> stream;
    for (const auto& [center, surround] : {std::pair{1, 2}, std::pair{1, 3}, std::pair{0, 2}}) {
        mp2dec::test::TestFrame frame;
        frame.center = center;
        frame.surround = surround;
        const auto bytes = mp2dec::test::WriteTestFrame(frame);
        for (int i = 0; i < 4; ++i) stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    TempDir dir;
    WriteBytes(dir.File("changes.mp2"), stream);
    const CommandResult run =
        RunCommand(WithPlugin("gst-launch-1.0 filesrc location=" + Quote(dir.File("changes.mp2")) +
                              " ! mpegaudioparse ! " + kMp2DecoderFactoryName +
                              " ! filesink location=" + Quote(dir.File("changes.raw"))));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("The channel configuration changes"), std::string::npos);
    EXPECT_NE(run.output.find("a second stereo programme that is not in"), std::string::npos);
    EXPECT_EQ(ReadRawPcm(dir.File("changes.raw")).size(), 12u * 1152 * 6);
}

// The encoder element on no data, on digital silence, and on a stream whose channels change
// mid-way (2/0 drained, then 3/2): each pipeline ends normally, with nothing or with a stream
// that passes our check.
TEST(Mp2ElementsPipeline, TheEncoderTakesNoDataSilenceAndAChannelChange) {
    if (!HaveProgram("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    const std::string raw = "'audio/x-raw,format=S16LE,rate=48000,channels=";
    const std::string six = raw + "6,channel-mask=(bitmask)0x3f' ! e. ";
    const struct {
        std::string sources;
        const char* checked;  // null: no frame written
    } cases[] = {
        {"audiotestsrc num-buffers=0 ! " + six, nullptr},
        {"audiotestsrc wave=silence num-buffers=20 ! " + six, ": 18 frame(s), 18 with"},
        {"audiotestsrc num-buffers=20 ! " + raw + "2' ! e. audiotestsrc num-buffers=20 ! " + six,
         ": 36 frame(s), 18 with multichannel extension, 0 damaged; 0 error(s)"},
    };
    TempDir dir;
    const std::string mp2 = dir.File("hostile.mp2");
    for (const auto& c : cases) {
        const CommandResult run = RunCommand(
            WithPlugin("gst-launch-1.0 -q concat name=e ! " + std::string(kMp2EncoderFactoryName) +
                       " ! filesink location=" + Quote(mp2) + " " + c.sources));
        EXPECT_EQ(run.exitCode, 0) << c.sources << run.output;
        const CommandResult checked =
            RunCommand(Quote(BinPath("tavrisk-cli")) + " check " + Quote(mp2));
        if (c.checked == nullptr)
            EXPECT_TRUE(ReadBytes(mp2).empty()) << c.sources;
        else
            EXPECT_NE(checked.output.find(c.checked), std::string::npos) << checked.output;
    }
}

}  // namespace
}  // namespace tavrisk::test
