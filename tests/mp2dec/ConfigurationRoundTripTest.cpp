// SPDX-License-Identifier: GPL-3.0-or-later
// Every channel configuration through our encoder and back through our decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/SampleBlock.h"
#include "engines/Mp2FileSink.h"
#include "mp2enc/Mp2Encoder.h"
#include "tests/mp2dec/DecoderTestSupport.h"

namespace tavrisk::mp2dec::test {
namespace {

using tavrisk::test::PcmAudio;
using tavrisk::test::ReadBytes;
using tavrisk::test::ReadWav;
using tavrisk::test::TempDir;
using tavrisk::test::ToneAmplitude;

constexpr std::size_t kFrames = 10;
constexpr double kCrossTalkDb = -40.0;

// A channel as the WAV stores it: speaker bit, tone, and the encoder's input rows that carry
// it (a mono surround is both surrounds at -3 dB, a mono channel the centre).
struct Channel {
    const char* name;
    unsigned mask;
    double tone;
    std::vector<std::size_t> rows;
};
const Channel kL{"L", 0x1, 500.0, {SampleBlock::kRowL}};
const Channel kR{"R", 0x2, 1250.0, {SampleBlock::kRowR}};
const Channel kC{"C", 0x4, 800.0, {SampleBlock::kRowC}};
const Channel kLfe{"LFE", 0x8, 60.0, {SampleBlock::kRowLfe}};
const Channel kLs{"LS", 0x10, 1900.0, {SampleBlock::kRowLs}};
const Channel kRs{"RS", 0x20, 3100.0, {SampleBlock::kRowRs}};
const Channel kS{"S", 0x100, 2300.0, {SampleBlock::kRowLs, SampleBlock::kRowRs}};
const Channel kMono{"M", 0x0, 800.0, {SampleBlock::kRowC}};

struct Configuration {
    ChannelConfiguration channels;
    std::vector<Channel> stored;  // in the WAV's order
    std::vector<int> bitrates;
};

const std::vector<Configuration>& Configurations() {
    static const std::vector<Configuration> all = {
        {{3, 2, true}, {kL, kR, kC, kLfe, kLs, kRs}, {384, 320, 256}},
        {{3, 2, false}, {kL, kR, kC, kLs, kRs}, {384, 320, 256}},
        {{3, 1, true}, {kL, kR, kC, kLfe, kS}, {384, 256, 192}},
        {{3, 1, false}, {kL, kR, kC, kS}, {384, 256, 192}},
        {{3, 0, true}, {kL, kR, kC, kLfe}, {256, 192, 160}},
        {{3, 0, false}, {kL, kR, kC}, {256, 192, 160}},
        {{2, 2, true}, {kL, kR, kLfe, kLs, kRs}, {384, 256, 192}},
        {{2, 2, false}, {kL, kR, kLs, kRs}, {384, 256, 192}},
        {{2, 1, true}, {kL, kR, kLfe, kS}, {256, 192, 160}},
        {{2, 1, false}, {kL, kR, kS}, {256, 192, 160}},
        {{2, 0, false}, {kL, kR}, {256, 192, 128}},
        {{1, 0, false}, {kMono}, {192, 128, 96}},
    };
    return all;
}

// A whole number of cycles over the measured samples: the other tones leave nothing there.
double Centred(double tone, int rate) {
    const double bin = static_cast<double>(rate) / (kFrames * SampleBlock::kFrames - kSettle);
    return std::round(tone / bin) * bin;
}

// A tone above the limit of a limited centre (subband 12, 9 kHz at 48 kHz), sent in C.
constexpr double kHighCentreTone = 15000.0;

// Each channel's tone; with a limited centre, the centre also carries kHighCentreTone.
bool Encode(const Configuration& c, const mp2::EncoderSettings& settings, const std::string& path) {
    const int rate = settings.sampleRate;
    const bool limitedCentre = settings.limitedCentre;
    mp2::Mp2Encoder encoder;
    Mp2FileSink sink;
    if (!encoder.Configure(settings, sink) || !sink.Open(path)) return false;
    for (std::size_t f = 0; f < kFrames; ++f) {
        SampleBlock block;
        for (const Channel& ch : c.stored) {
            const double gain = ch.rows.size() == 2 ? std::sqrt(0.5) : 1.0;
            const double w = 2.0 * std::numbers::pi * Centred(ch.tone, rate) / rate;
            for (std::size_t row : ch.rows)
                for (std::size_t i = 0; i < SampleBlock::kFrames; ++i)
                    block.Row(row)[i] =
                        std::round(gain * kAmplitude *
                                   std::sin(w * static_cast<double>(f * SampleBlock::kFrames + i)));
        }
        const double high = 2.0 * std::numbers::pi * Centred(kHighCentreTone, rate) / rate;
        for (std::size_t i = 0; limitedCentre && i < SampleBlock::kFrames; ++i)
            block.Row(SampleBlock::kRowC)[i] += std::round(
                kAmplitude * std::sin(high * static_cast<double>(f * SampleBlock::kFrames + i)));
        if (!encoder.EncodeFrame(block)) return false;
    }
    return encoder.Finish() && sink.Close();
}

// `random`: the matrix procedure and transmission channels at random per frame and group.
bool Encode(const Configuration& c, int rate, int kbps, bool random, const std::string& path) {
    mp2::EncoderSettings settings;
    settings.sampleRate = rate;
    settings.channels = c.channels;
    settings.bitrateKbps = settings.totalBitrateKbps = kbps;
    if (random) settings.dematrixChoice = settings.tcAllocChoice = -1;
    return Encode(c, settings, path);
}

unsigned ChannelMask(const std::string& wav) {
    const auto bytes = ReadBytes(wav);
    constexpr std::size_t kFormatTag = 20;
    constexpr std::size_t kMask = 40;
    if (bytes.size() < kMask + 4 || bytes[kFormatTag] != 0xFE || bytes[kFormatTag + 1] != 0xFF)
        return 0;
    return bytes[kMask] | bytes[kMask + 1] << 8 | bytes[kMask + 2] << 16 |
           static_cast<unsigned>(bytes[kMask + 3]) << 24;
}

// Encodes, checks and decodes one case; `worstSnr` takes the worst tone SNR of the channels
// (for the table TAVRISK_PRINT_SNR asks for).
void RoundTrip(const Configuration& c, int rate, int kbps, bool random, const TempDir& dir,
               double& worstSnr) {
    SCOPED_TRACE(ChannelConfigurationName(c.channels) + " at " + std::to_string(rate) + " Hz, " +
                 std::to_string(kbps) + " kbit/s" + (random ? ", random choices" : ""));
    const std::string mp2 = dir.File("config.mp2");
    ASSERT_TRUE(Encode(c, rate, kbps, random, mp2));
    std::string report;
    EXPECT_EQ(Check(mp2, &report), 0) << report;
    EXPECT_NE(report.find("0 damaged; 0 error(s), 0 warning(s)"), std::string::npos) << report;

    const std::string wav = dir.File("config.wav");
    std::string messages;
    ASSERT_EQ(Decode({mp2, wav, "--yes"}, &messages), 0) << messages;
    const PcmAudio decoded = ReadWav(wav, true);
    ASSERT_EQ(decoded.channels, static_cast<int>(c.stored.size()));
    unsigned mask = 0;
    for (const Channel& ch : c.stored) mask |= ch.mask;
    EXPECT_EQ(ChannelMask(wav), mask);
    for (int i = 0; i < decoded.channels; ++i) {
        const Channel& own = c.stored[static_cast<std::size_t>(i)];
        auto samples = decoded.Channel(i);
        samples.erase(samples.begin(), samples.begin() + static_cast<long>(kSettle));
        const double level = Db(ToneAmplitude(samples, Centred(own.tone, rate), rate) / kAmplitude);
        EXPECT_NEAR(level, 0.0, own.mask == kLfe.mask ? 3.0 : 1.0) << own.name << " level";
        if (own.mask != kLfe.mask && !random)
            worstSnr = std::min(worstSnr, ToneSnrDb(samples, Centred(own.tone, rate), rate, 0));
        for (const Channel& other : c.stored) {
            const double leak = ToneAmplitude(samples, Centred(other.tone, rate), rate);
            const double leakDb = other.mask == own.mask ? kCrossTalkDb : Db(leak / kAmplitude);
            EXPECT_LE(leakDb, kCrossTalkDb) << other.name << " tone in " << own.name;
        }
    }
    if (random) return;
    // Players without the extension hear the compatible pair (or the mono channel).
    const std::string played = dir.File("ffmpeg.wav");
    const auto ffmpeg =
        tavrisk::test::RunCommand("ffmpeg -nostdin -v error -y -i " + tavrisk::test::Quote(mp2) +
                                  " " + tavrisk::test::Quote(played));
    EXPECT_EQ(ffmpeg.output, "");
    const PcmAudio pair = ReadWav(played, true);
    EXPECT_EQ(pair.channels, c.channels.front == 1 ? 1 : 2);
    EXPECT_EQ(pair.Frames(), decoded.Frames());
}

class ConfigurationRoundTrip : public testing::TestWithParam<std::size_t> {};

TEST_P(ConfigurationRoundTrip, BothRatesThreeBitratesAndRandomChoices) {
    const Configuration& c = Configurations()[GetParam()];
    TempDir dir;
    double worstSnr = 1e9;
    for (int rate : {48000, 44100})
        for (int kbps : c.bitrates) RoundTrip(c, rate, kbps, false, dir, worstSnr);
    // Every matrix procedure and transmission channel allocation the configuration allows.
    RoundTrip(c, 48000, c.bitrates.front(), true, dir, worstSnr);
    if (std::getenv("TAVRISK_PRINT_SNR") != nullptr)
        std::printf("%-6s worst tone SNR %5.1f dB\n", ChannelConfigurationName(c.channels).c_str(),
                    worstSnr);
}

// A stream whose configuration changes keeps the first frame's channels: a later frame
// whose channels all fit is a warning, one that loses some an error, each once per change.
TEST(ConfigurationChange, KeepsTheFirstChannelsAndSaysWhatIsLeftOut) {
    TempDir dir;
    std::string stream;
    for (const std::size_t configuration : {3, 6, 10}) {  // 3/1, then 2/2.1, then 2/0
        const Configuration& c = Configurations()[configuration];
        ASSERT_TRUE(Encode(c, 48000, c.bitrates.front(), false, dir.File("part.mp2")));
        for (const uint8_t byte : ReadBytes(dir.File("part.mp2")))
            stream += static_cast<char>(byte);
    }
    std::istringstream in(stream);
    MemorySink sink;
    ProblemLog log;
    StreamDecoder::Summary summary;
    EXPECT_TRUE(StreamDecoder(false).Decode(in, sink, log, summary));
    EXPECT_EQ(summary.channels, 4);
    ASSERT_EQ(log.Problems().size(), 2u);  // an error, then a warning
    EXPECT_EQ(log.Problems()[0].frame, static_cast<long>(kFrames + 1));
    EXPECT_NE(log.Problems()[0].Line().find("leaves out 2"), std::string::npos);
    EXPECT_EQ(log.ErrorCount(), 1u);
}

// Below its limit a limited centre is a channel of its own; above it the encoder mixes it
// into L and R (at -3 dB, as the matrix weighs it), and the decoded centre is silent there.
// 3/2.1, 3/1.1 and 3/0.1 under each procedure, and 3/0.1 with random draws to correct.
TEST(LimitedCentreRoundTrip, TheCentresHighBandIsHeardInTheFrontPairAlone) {
    TempDir dir;
    const std::string mp2 = dir.File("limited.mp2"), wav = dir.File("limited.wav");
    for (int run = 0; run < 13; ++run) {
        const Configuration& c = Configurations()[run < 12 ? run / 4 * 2 : 4];
        mp2::EncoderSettings settings;  // 48 kHz, 384 kbit/s
        settings.channels = c.channels;
        settings.limitedCentre = true;
        settings.dematrixChoice = run < 12 ? run % 4 : -1;
        settings.tcAllocChoice = run < 12 ? settings.tcAllocChoice : -1;
        SCOPED_TRACE(ChannelConfigurationName(c.channels) + ", procedure " +
                     std::to_string(settings.dematrixChoice));
        std::string report;
        ASSERT_TRUE(Encode(c, settings, mp2));
        ASSERT_EQ(Decode({mp2, wav, "--yes"}, &report), 0) << report;
        const PcmAudio decoded = ReadWav(wav, true);
        for (int i = 0; i < decoded.channels; ++i) {
            const Channel& own = c.stored[static_cast<std::size_t>(i)];
            auto samples = decoded.Channel(i);
            samples.erase(samples.begin(), samples.begin() + static_cast<long>(kSettle));
            auto levelOf = [&](double tone) {
                return Db(ToneAmplitude(samples, Centred(tone, 48000), 48000) / kAmplitude);
            };
            EXPECT_NEAR(levelOf(own.tone), 0.0, own.mask == kLfe.mask ? 3.0 : 1.0) << own.name;
            for (const Channel& other : c.stored)
                EXPECT_TRUE(other.mask == own.mask || levelOf(other.tone) <= kCrossTalkDb)
                    << other.name << " tone in " << own.name;
            const bool front = own.mask == kL.mask || own.mask == kR.mask;
            const double high = levelOf(kHighCentreTone);
            EXPECT_TRUE(front ? std::abs(high + 3.0) < 1.0 : high <= kCrossTalkDb)
                << "high C at " << high << " dB in " << own.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryConfiguration, ConfigurationRoundTrip,
                         testing::Range<std::size_t>(0, 12));

}  // namespace
}  // namespace tavrisk::mp2dec::test
