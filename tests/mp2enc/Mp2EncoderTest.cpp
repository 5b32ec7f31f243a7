// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "mp2enc/Mp2Encoder.h"
#include "tests/mp2enc/FrameParser.h"
#include "tests/mp2enc/StreamChecks.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::mp2 {
namespace {

using tavrisk::test::HaveProgram;
using tavrisk::test::PcmAudio;
using tavrisk::test::Quote;
using tavrisk::test::ReadBytes;
using tavrisk::test::RunCommand;
using tavrisk::test::TempDir;

// The settings the Transcode job asks for.
EncoderSettings JobOptions(int rate, int bitrate) {
    EncoderSettings o;
    o.sampleRate = rate;
    o.totalBitrateKbps = o.bitrateKbps = bitrate;
    o.ancillaryBytes = 0;
    o.verbosity = 0;
    return o;
}

// Encodes six-channel audio (file order L, R, C, LFE, LS, RS) block by block; the last
// partial block is completed with silence.
bool EncodeAudio(Mp2Encoder& encoder, const PcmAudio& audio, const EncoderSettings& options,
                 const std::string& path) {
    MemoryFrameSink sink;
    if (!encoder.Configure(options, sink)) return false;
    SampleBlock block;
    for (std::size_t start = 0; start < audio.Frames(); start += SampleBlock::kFrames) {
        for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
            for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
                const std::size_t f = start + i;
                block.Row(row)[i] = f < audio.Frames() ? audio.At(f, static_cast<int>(row)) : 0.0;
            }
        }
        if (!encoder.EncodeFrame(block)) return false;
    }
    const bool finished = encoder.Finish();
    tavrisk::test::WriteBytes(path, sink.bytes);
    return finished;
}

PcmAudio Tones(int rate, std::size_t frames) {
    tavrisk::test::ToneSet layout;
    layout.frequencies = {440.0, 660.0, 1000.0, 50.0, 1500.0, 2500.0};
    layout.amplitude = 6000.0;
    return tavrisk::test::MakeTones(layout, rate, frames);
}

class Mp2EncoderEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe"))
            FAIL() << "ffmpeg and ffprobe are needed (scripts/setup.sh installs them)";
    }
    TempDir dir;
};

TEST_F(Mp2EncoderEndToEnd, DecodedStereoIsTheDownmixOfTones) {
    for (int rate : {48000, 44100}) {
        SCOPED_TRACE(rate);
        const PcmAudio input = Tones(rate, 40 * 1152);
        const std::string out = dir.File("tones" + std::to_string(rate) + ".mp2");
        Mp2Encoder encoder;
        ASSERT_TRUE(EncodeAudio(encoder, input, JobOptions(rate, 384), out));
        EXPECT_EQ(encoder.FrameCount(), 40);

        std::string errors;
        const PcmAudio decoded = test::DecodeWithFfmpeg(out, dir.File("dec"), &errors);
        EXPECT_EQ(errors, "");
        for (int ch = 0; ch < 2; ++ch) {
            int lag = 0;
            const double snr =
                test::AlignedSnrDb(test::Downmix(input, ch), decoded.Channel(ch), 1200, &lag);
            std::printf("tones %d Hz channel %d: SNR %.1f dB at decoder delay %d\n", rate, ch, snr,
                        lag);
            EXPECT_GE(snr, 30.0);
        }
        const auto probe = RunCommand(
            "ffprobe -v error -show_entries stream=codec_name,channels,sample_rate,bit_rate "
            "-of default=nw=1 " +
            Quote(out));
        EXPECT_NE(probe.output.find("codec_name=mp2"), std::string::npos) << probe.output;
        EXPECT_NE(probe.output.find("channels=2"), std::string::npos) << probe.output;
        EXPECT_NE(probe.output.find("sample_rate=" + std::to_string(rate)), std::string::npos);
        EXPECT_NE(probe.output.find("bit_rate=384000"), std::string::npos) << probe.output;
    }
}

TEST_F(Mp2EncoderEndToEnd, PinkNoiseDecodesCleanlyAndCloseToTheDownmix) {
    const std::string wav = dir.File("pink.wav");
    const auto made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i anoisesrc=color=pink:amplitude=0.25:seed=3 "
        "-t 1.2 -ar 48000 -ac 6 -c:a pcm_s16le " +
        Quote(wav));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const PcmAudio input = tavrisk::test::ReadWav(wav, true);  // FL FR FC LFE BL BR
    ASSERT_EQ(input.channels, 6);
    const std::string out = dir.File("pink.mp2");
    Mp2Encoder encoder;
    ASSERT_TRUE(EncodeAudio(encoder, input, JobOptions(48000, 384), out));
    std::string errors;
    const PcmAudio decoded = test::DecodeWithFfmpeg(out, dir.File("pinkdec"), &errors);
    EXPECT_EQ(errors, "");
    const double snr = test::AlignedSnrDb(test::Downmix(input, 0), decoded.Channel(0), 1200);
    std::printf("pink noise 48000 Hz 384 kbit/s: SNR %.1f dB\n", snr);
    EXPECT_GE(snr, 12.0);
}

TEST_F(Mp2EncoderEndToEnd, EveryBitrateAtBothRatesGivesExactFrames) {
    const int bitrates[] = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    for (int rate : {48000, 44100}) {
        const PcmAudio input = Tones(rate, 12 * 1152);
        for (int bitrate : bitrates) {
            SCOPED_TRACE(testing::Message() << rate << " Hz " << bitrate << " kbit/s");
            const std::string out = dir.File("b.mp2");
            Mp2Encoder encoder;
            ASSERT_TRUE(EncodeAudio(encoder, input, JobOptions(rate, bitrate), out));
            EXPECT_TRUE(encoder.Log().Empty()) << "no overflow or scaling report";
            const test::FrameWalk walk = test::WalkFrames(ReadBytes(out), bitrate, rate);
            EXPECT_TRUE(walk.ok) << walk.problem;
            EXPECT_EQ(walk.frames, 12);
            std::string errors;
            test::DecodeWithFfmpeg(out, dir.File("bdec"), &errors);
            EXPECT_EQ(errors, "");
        }
    }
}

TEST_F(Mp2EncoderEndToEnd, FullScaleExtremesStayInRange) {
    // Full-scale square waves, alternating extremes and full-scale noise on every channel.
    PcmAudio audio;
    audio.channels = 6;
    audio.rate = 48000;
    const std::size_t frames = 12 * 1152;
    audio.samples.resize(frames * 6);
    unsigned seed = 99;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 6; ++c) {
            seed = seed * 1103515245u + 12345u;
            int v;
            if (i < frames / 3) {
                v = (i / (20 + 7 * c)) % 2 ? 32767 : -32768;
            } else if (i < 2 * frames / 3) {
                v = i % 2 ? 32767 : -32768;
            } else {
                v = static_cast<int>((seed >> 8) % 65536) - 32768;
            }
            audio.samples[i * 6 + c] = static_cast<int16_t>(v);
        }
    }
    for (int bitrate : {64, 384}) {
        SCOPED_TRACE(bitrate);
        const std::string out = dir.File("extreme.mp2");
        Mp2Encoder encoder;
        ASSERT_TRUE(EncodeAudio(encoder, audio, JobOptions(48000, bitrate), out));
        EXPECT_TRUE(encoder.Log().Empty()) << "no sample exceeds its scale factor";
        const test::FrameWalk walk = test::WalkFrames(ReadBytes(out), bitrate, 48000);
        EXPECT_TRUE(walk.ok) << walk.problem;
        std::string errors;
        test::DecodeWithFfmpeg(out, dir.File("xdec"), &errors);
        EXPECT_EQ(errors, "");
    }
}

TEST_F(Mp2EncoderEndToEnd, PaddingAt44100FollowsTheSlotAccounting) {
    const std::string out = dir.File("pad.mp2");
    Mp2Encoder encoder;
    ASSERT_TRUE(EncodeAudio(encoder, Tones(44100, 16 * 1152), JobOptions(44100, 384), out));
    const auto bytes = ReadBytes(out);
    const test::FrameWalk walk = test::WalkFrames(bytes, 384, 44100);
    ASSERT_TRUE(walk.ok) << walk.problem;
    EXPECT_EQ(walk.paddingBits, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(bytes[2], 0xE2);
    EXPECT_EQ(bytes.size(), 16u * 1253 + 14);
}

// Tones on every channel plus noise, so that every channel needs bits.
PcmAudio TonesAndNoise(int rate, std::size_t frames) {
    PcmAudio audio = Tones(rate, frames);
    unsigned seed = 12345;
    for (int16_t& v : audio.samples) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<int16_t>(v + static_cast<int>((seed >> 16) % 2001) - 1000);
    }
    return audio;
}

TEST(Mp2Encoder, ExtensionFieldsReadBackWithAMatchingCrc) {
    struct Setting {
        int rate, bitrate, dematrix, tcAlloc;
    };
    const Setting settings[] = {{48000, 384, 0, -2}, {48000, 64, 0, -2}, {44100, 384, 0, -2},
                                {44100, 128, 0, -2}, {44100, 32, 0, -2}, {48000, 256, -1, -1},
                                {48000, 192, 2, -2}, {48000, 384, 3, 0}};
    TempDir dir;
    for (const Setting& s : settings) {
        SCOPED_TRACE(testing::Message() << s.rate << " Hz " << s.bitrate << " kbit/s -x "
                                        << s.dematrix << " -k " << s.tcAlloc);
        EncoderSettings options = JobOptions(s.rate, s.bitrate);
        options.dematrixChoice = s.dematrix;
        options.tcAllocChoice = s.tcAlloc;
        Mp2Encoder encoder;
        const std::string out = dir.File("ext.mp2");
        ASSERT_TRUE(EncodeAudio(encoder, TonesAndNoise(s.rate, 10 * 1152), options, out));
        const auto bytes = ReadBytes(out);
        const int sblimit = encoder.Params().sblimit;
        std::size_t offset = 0;
        bool sawSplitGroups = false;
        for (int frame = 0; frame < 10; ++frame) {
            SCOPED_TRACE(frame);
            const test::ParsedFrame f = test::ParseFrame(
                bytes, offset, encoder.Params().tableNumber, encoder.Params().tableNumberMc);
            ASSERT_TRUE(f.ok) << f.problem << " used " << f.usedBits << " of " << f.frameBits;
            EXPECT_EQ(f.storedMcCrc, f.computedMcCrc);
            EXPECT_EQ(f.center, 1);
            EXPECT_EQ(f.surround, 2);
            EXPECT_EQ(f.lfe, 1);
            EXPECT_EQ(f.lfeAllocation, 4);
            EXPECT_TRUE(f.fillIsZero);
            if (s.dematrix >= 0) {
                EXPECT_EQ(f.dematrix, s.dematrix);
            }
            for (int g = 0; g < 12; ++g) {
                if (f.dematrix == 2) {
                    EXPECT_NE(f.tcAlloc[g], 5);
                }
                if (f.dematrix == 3) {
                    EXPECT_EQ(f.tcAlloc[g], 0);
                }
            }
            sawSplitGroups = sawSplitGroups || f.tcSbgrSelect == 0;
            for (int p = 0; p < 3; ++p) {
                for (int sb = sblimit; sb < 32; ++sb) EXPECT_EQ(f.multichannelAlloc[p][sb], 0);
            }
            int allocated = 0;
            for (int p = 0; p < 3; ++p) {
                for (int sb = 0; sb < 32; ++sb) allocated += f.multichannelAlloc[p][sb] > 0;
            }
            if (s.bitrate >= 64) {
                EXPECT_GT(allocated, 0) << "the extension carries audio";
            }
            offset += static_cast<std::size_t>(f.frameBits / 8);
        }
        EXPECT_EQ(offset, bytes.size());
        if (s.tcAlloc == -1) {
            EXPECT_TRUE(sawSplitGroups) << "random groups differ";
        }
    }
}

TEST(Mp2Encoder, SameInputGivesTheSameBytesInEveryRun) {
    TempDir dir;
    const PcmAudio input = Tones(48000, 6 * 1152);
    Mp2Encoder first;
    ASSERT_TRUE(EncodeAudio(first, input, JobOptions(48000, 256), dir.File("a.mp2")));
    // The same encoder again, and a run at another rate in between.
    ASSERT_TRUE(
        EncodeAudio(first, Tones(44100, 3 * 1152), JobOptions(44100, 128), dir.File("other.mp2")));
    ASSERT_TRUE(EncodeAudio(first, input, JobOptions(48000, 256), dir.File("b.mp2")));
    Mp2Encoder second;
    ASSERT_TRUE(EncodeAudio(second, input, JobOptions(48000, 256), dir.File("c.mp2")));
    const auto a = ReadBytes(dir.File("a.mp2"));
    EXPECT_EQ(a.size(), 6u * 768);
    EXPECT_EQ(a, ReadBytes(dir.File("b.mp2")));
    EXPECT_EQ(a, ReadBytes(dir.File("c.mp2")));
}

TEST(Mp2Encoder, LfeIsQuantisedWithTheFieldsOwnThirtyOneLevels) {
    // At 32 kbit/s the compatible table is B.2c, whose entry 4 has only 15 levels; the
    // LFE field is 5 bits wide (31 levels) and must be quantised to match.
    TempDir dir;
    Mp2Encoder encoder;
    MemoryFrameSink sink;
    ASSERT_TRUE(encoder.Configure(JobOptions(48000, 32), sink));
    ASSERT_EQ(encoder.Params().tableNumber, 2);
    SampleBlock block;
    int highest = 0;
    for (int f = 0; f < 8; ++f) {
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
            block.Row(SampleBlock::kRowLfe)[i] = std::round(
                30000.0 * std::sin(2 * 3.141592653589793 * 40.0 * (f * 1152 + i) / 48000));
        }
        ASSERT_TRUE(encoder.EncodeFrame(block));
        for (int code : encoder.Lfe().Codes()) {
            highest = std::max(highest, code);
            EXPECT_LT(code, 31);
        }
    }
    EXPECT_GT(highest, 15) << "codes above the 15-level range are written in 5 bits";
    ASSERT_TRUE(encoder.Finish());
}

TEST(Mp2Encoder, RefusesSettingsThatCannotGiveAValidStream) {
    struct Case {
        const char* what;
        void (*change)(EncoderSettings&);
        const char* message;
    };
    const Case cases[] = {
        {"dynamic cross-talk", [](EncoderSettings& o) { o.dynCrossChoice = 1; },
         "tavrisk: dynamic cross-talk (-y 1) is not supported\n"},
        {"dematrix procedure", [](EncoderSettings& o) { o.dematrixChoice = 4; },
         "tavrisk: -x dematrix procedure must be -1 to 3, not 4\n"},
        {"tc allocation", [](EncoderSettings& o) { o.tcAllocChoice = 8; },
         "tavrisk: -k tc allocation must be -2 to 7, not 8\n"},
        {"undematrixable",
         [](EncoderSettings& o) {
             o.tcAllocChoice = 5;
             o.dematrixChoice = 2;
         },
         "tavrisk: -k 5 cannot be dematrixed with -x 2\n"},
        {"half rate", [](EncoderSettings& o) { o.sampleRate = 16000; },
         "tavrisk: only 32, 44.1 and 48 kHz streams are supported\n"},
        {"bitrate", [](EncoderSettings& o) { o.bitrateKbps = o.totalBitrateKbps = 40; },
         "BitrateIndex: 40 (layer 2) is not a legal bitrate\n"},
        {"split bitrate",
         [](EncoderSettings& o) {
             o.totalBitrateKbps = 384;
             o.bitrateKbps = 256;
         },
         "tavrisk: total bitrate 384 must equal the compatible bitrate 256 (no extension "
         "stream is written)\n"},
        {"side information",
         [](EncoderSettings& o) {
             o.ancillaryBytes = 60;
             o.totalBitrateKbps = o.bitrateKbps = 32;
         },
         "tavrisk: 32 kbit/s at 48.0 kHz cannot carry the multichannel side information\n"},
        {"tc allocation of 3/0",
         [](EncoderSettings& o) {
             o.channels = {3, 0, true};
             o.tcAllocChoice = 3;
         },
         "tavrisk: -k tc allocation must be -2 to 2, not 3\n"},
        {"2/2 undematrixable",
         [](EncoderSettings& o) {
             o.channels = {2, 2, false};
             o.tcAllocChoice = 3;
             o.dematrixChoice = 2;
         },
         "tavrisk: -k 3 cannot be dematrixed with -x 2\n"},
        {"mono bitrate",
         [](EncoderSettings& o) {
             o.channels = {1, 0, false};
         },
         "tavrisk: 384 kbit/s is not a Layer II bitrate for mono\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EncoderSettings o = JobOptions(48000, 384);
        c.change(o);
        Mp2Encoder encoder;
        MemoryFrameSink sink;
        EXPECT_FALSE(encoder.Configure(o, sink));
        const std::vector<EncoderMessage> messages = encoder.Log().Take();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].kind, EncoderMessage::kError);
        EXPECT_EQ(messages[0].text, c.message);
    }
}

TEST(Mp2Encoder, DestroyedWhileItsHelperThreadMayStillBeWorking) {
    // Each encoder is dropped without Finish(), right after a frame whose masking its helper
    // thread may still be computing from the encoder's buffers; the address and thread
    // sanitizer builds report any use of them after they are freed.
    TempDir dir;
    const PcmAudio input = Tones(48000, 3 * 1152);
    SampleBlock block;
    for (int run = 0; run < 40; ++run) {
        Mp2Encoder encoder;
        MemoryFrameSink sink;
        ASSERT_TRUE(encoder.Configure(JobOptions(48000, 256), sink));
        const int blocks = 1 + run % 3;
        for (int b = 0; b < blocks; ++b) {
            for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
                for (std::size_t i = 0; i < SampleBlock::kFrames; ++i)
                    block.Row(row)[i] =
                        input.At(b * SampleBlock::kFrames + i, static_cast<int>(row));
            }
            ASSERT_TRUE(encoder.EncodeFrame(block));
        }
    }
}

TEST(Mp2Encoder, PushedSamplesInAnyAmountGiveTheBytesOfWholeBlocks) {
    // Pushed in uneven pieces, with a last partial block: the stream of the same samples
    // given block by block, the last block completed with silence.
    const PcmAudio input = TonesAndNoise(48000, 5 * 1152 + 300);
    TempDir dir;
    Mp2Encoder byBlocks;
    ASSERT_TRUE(EncodeAudio(byBlocks, input, JobOptions(48000, 256), dir.File("blocks.mp2")));
    std::vector<std::vector<double>> planes(SampleBlock::kChannels);
    for (std::size_t row = 0; row < planes.size(); ++row) {
        for (std::size_t f = 0; f < input.Frames(); ++f)
            planes[row].push_back(input.At(f, static_cast<int>(row)));
    }
    Mp2Encoder pushed;
    MemoryFrameSink sink;
    ASSERT_TRUE(pushed.Configure(JobOptions(48000, 256), sink));
    std::size_t done = 0;
    for (std::size_t piece = 1; done < input.Frames(); piece = piece * 3 + 7) {
        const std::size_t count = std::min(piece, input.Frames() - done);
        const double* at[SampleBlock::kChannels];
        for (std::size_t row = 0; row < planes.size(); ++row) at[row] = planes[row].data() + done;
        ASSERT_TRUE(pushed.Push(at, count));
        done += count;
    }
    ASSERT_TRUE(pushed.Finish());
    EXPECT_EQ(pushed.FrameCount(), 6);
    EXPECT_EQ(sink.bytes, ReadBytes(dir.File("blocks.mp2")));
}

TEST(Mp2Encoder, TracesWaitInTheLogAndAWriteTheSinkRefusesIsReported) {
    struct RefusingSink : FrameSink {
        bool Write(std::span<const std::uint8_t>) override { return false; }
    } sink;
    EncoderSettings options = JobOptions(48000, 384);
    options.verbosity = 2;
    Mp2Encoder encoder;
    ASSERT_TRUE(encoder.Configure(options, sink));
    const std::vector<EncoderMessage> traces = encoder.Log().Take();
    ASSERT_FALSE(traces.empty());
    EXPECT_EQ(traces.front().text, "stereo = 2 stereomc = 3 stereoaug = 0\n");
    SampleBlock block;
    EXPECT_TRUE(encoder.EncodeFrame(block)) << "the first frame waits for the second";
    EXPECT_FALSE(encoder.EncodeFrame(block));
    EXPECT_FALSE(encoder.Finish());
}

}  // namespace
}  // namespace tavrisk::mp2
