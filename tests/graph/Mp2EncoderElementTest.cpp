#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "graph/GraphRuntime.h"
#include "graph/Mp2EncoderElement.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr int kRate = 48000;
// The tone of each channel of the 5.1 input, in the file order L R C LFE LS RS.
constexpr double kTones[] = {300.0, 500.0, 700.0, 60.0, 1100.0, 1500.0};
// The same channels in the order a 5.1 WAV is read back: L, C, R, LS, RS, LFE.
constexpr int kInputOfDecoded[] = {0, 2, 1, 4, 5, 3};

TEST(Mp2EncoderRegistration, InProcessAndInTheLoadablePlugin) {
    ASSERT_EQ(InitGraphRuntime().Reason(), "");
    GstElementFactory* factory = gst_element_factory_find(kMp2EncoderFactoryName);
    ASSERT_NE(factory, nullptr);
    EXPECT_STREQ(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS),
                 "Codec/Encoder/Audio");
    gst_object_unref(factory);
    if (!HaveProgram("gst-inspect-1.0")) GTEST_SKIP() << "gst-inspect-1.0 is not installed";
    const CommandResult result =
        RunCommand(std::string("GST_PLUGIN_PATH=") + TAVRISK_GST_PLUGIN_DIR + " gst-inspect-1.0 " +
                   kMp2EncoderFactoryName + " 2>&1");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find(kMp2EncoderLongName), std::string::npos);
}

// A 5.1 film through decodebin and the element, then our checker and decoder: every channel's
// tone in its own channel, the others far below.
TEST(Mp2EncoderPipeline, AFilmsSixTonesComeBackInPlace) {
    if (!HaveProgram("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    TempDir dir;
    ToneSet tones;
    tones.frequencies.assign(std::begin(kTones), std::end(kTones));
    tones.amplitude = 4000.0;
    const std::string wav6 = dir.File("tones.wav");
    WritePlainWav(wav6, MakeTones(tones, kRate, 3 * kRate));
    const std::string film = dir.File("film.vob");
    ASSERT_TRUE(Ffmpeg("-i " + Quote(wav6) + " -c:a ac3 -b:a 448k -f vob " + Quote(film)));
    for (int bitrate : {192, 384}) {
        SCOPED_TRACE(bitrate);
        const std::string mp2 = dir.File("film.mp2");
        const CommandResult run = RunCommand(
            std::string("GST_PLUGIN_PATH=") + TAVRISK_GST_PLUGIN_DIR +
            " gst-launch-1.0 -q filesrc location=" + Quote(film) +
            " ! decodebin ! audioconvert ! " + kMp2EncoderFactoryName + " bitrate=" +
            std::to_string(bitrate) + " ! filesink location=" + Quote(mp2) + " 2>&1");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const CommandResult checked = RunCli("check " + Quote(mp2));
        ASSERT_EQ(checked.exitCode, 0) << checked.output;
        const std::string wav = dir.File("film.wav");
        ASSERT_EQ(RunCli("decode " + Quote(mp2) + " " + Quote(wav) + " --yes").exitCode, 0);
        const PcmAudio decoded = ReadWav(wav);
        ASSERT_EQ(decoded.channels, 6);
        EXPECT_NEAR(static_cast<double>(decoded.Frames()), 3.0 * kRate, 1152.0);
        for (int d = 0; d < 6; ++d) {
            SCOPED_TRACE(d);
            const std::vector<double> channel = decoded.Channel(d);
            const double own = ToneAmplitude(channel, kTones[kInputOfDecoded[d]], kRate);
            EXPECT_GT(own, 1000.0);
            for (int other = 0; other < 6; ++other) {
                if (other == kInputOfDecoded[d]) continue;
                const double leak = ToneAmplitude(channel, kTones[other], kRate);
                EXPECT_LT(20.0 * std::log10(std::max(leak, 1e-9) / own), -40.0)
                    << "tone " << kTones[other];
            }
        }
    }
}

}  // namespace
}  // namespace tavrisk::test
