// SPDX-License-Identifier: GPL-3.0-or-later
// Our encoder, then this decoder: every channel must come back with its own signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/SampleBlock.h"
#include "engines/EncoderOptions.h"
#include "engines/Mp2FileSink.h"
#include "mp2enc/Mp2Encoder.h"
#include "tests/mp2dec/DecoderTestSupport.h"

namespace tavrisk::mp2dec::test {
namespace {

using tavrisk::test::HaveProgram;
using tavrisk::test::PcmAudio;
using tavrisk::test::ReadWav;
using tavrisk::test::TempDir;
using tavrisk::test::ToneAmplitude;

constexpr std::size_t kSeconds = 2;

// Decoded file order L, C, R, LS, RS, LFE; the encoder's block rows L, R, C, LFE, LS, RS.
constexpr int kDecodedOfRow[6] = {0, 2, 1, 5, 3, 4};
constexpr const char* kNames[6] = {"L", "C", "R", "LS", "RS", "LFE"};
// One tone per decoded channel; the LFE tone is low.
constexpr double kTones[6] = {500.0, 800.0, 1250.0, 1900.0, 3100.0, 60.0};

struct Case {
    int rate;
    int kbps;
    int procedure;
    const char* tcChoice;  // "-2" adaptive, "-1" random per group
};

std::string Describe(const Case& c) {
    return std::to_string(c.rate) + " Hz, " + std::to_string(c.kbps) + " kbit/s, procedure " +
           std::to_string(c.procedure) + ", tc choice " + c.tcChoice;
}

// Encodes six channels (decoded order) given as a function of (channel, sample) through the
// encoder's option vector, as the engine receives it.
template <typename Signal>
bool Encode(const Case& c, const std::string& path, Signal signal, double seconds = kSeconds) {
    const std::string rate = c.rate == 44100 ? "44.100" : c.rate == 32000 ? "32.000" : "48.000";
    const std::string kbps = std::to_string(c.kbps);
    const std::string procedure = std::to_string(c.procedure);
    const char* argv[] = {"tavrisk",         "-r", rate.c_str(), "-b", kbps.c_str(), "-B",
                          kbps.c_str(),      "-m", "s",          "-o", "-L",         "-x",
                          procedure.c_str(), "-k", c.tcChoice,   "-v", "0",          "in.wav",
                          path.c_str()};
    mp2::EncoderOptions options;
    mp2::EncoderLog refusals;
    if (!mp2::ParseOptions(static_cast<int>(std::size(argv)), argv, options, refusals))
        return false;
    mp2::Mp2Encoder encoder;
    Mp2FileSink sink;
    if (!encoder.Configure(mp2::SettingsFromOptions(options), sink) || !sink.Open(path))
        return false;
    SampleBlock block;
    const auto total = static_cast<std::size_t>(seconds * c.rate);
    for (std::size_t start = 0; start < total; start += SampleBlock::kFrames) {
        for (std::size_t row = 0; row < SampleBlock::kChannels; ++row)
            for (std::size_t i = 0; i < SampleBlock::kFrames; ++i)
                block.Row(row)[i] = std::round(signal(kDecodedOfRow[row], start + i));
        if (!encoder.EncodeFrame(block)) return false;
    }
    return encoder.Finish() && sink.Close();
}

// Decodes and checks the stream first; returns the six decoded channels.
std::vector<std::vector<double>> DecodeChecked(const std::string& mp2) {
    std::string report;
    EXPECT_EQ(Check(mp2, &report), 0) << report;
    EXPECT_NE(report.find("0 damaged; 0 error(s), 0 warning(s)"), std::string::npos) << report;
    std::string messages;
    const std::string wav = mp2 + ".wav";
    EXPECT_EQ(Decode({mp2, wav}, &messages), 0) << messages;
    const PcmAudio audio = ReadWav(wav);
    std::vector<std::vector<double>> channels;
    for (int ch = 0; ch < 6; ++ch) {
        auto samples = audio.Channel(ch);
        samples.erase(samples.begin(), samples.begin() + static_cast<long>(kSettle));
        channels.push_back(std::move(samples));
    }
    return channels;
}

// Windowed-sinc low-pass, so that noise is compared within the band the stream codes.
std::vector<double> LowPass(const std::vector<double>& x, double cutoffHz, int rate) {
    constexpr int kHalf = 64;
    std::vector<double> taps(2 * kHalf + 1);
    const double fc = cutoffHz / rate;
    for (int k = -kHalf; k <= kHalf; ++k) {
        const double sinc =
            k == 0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * k) / (std::numbers::pi * k);
        const double hann = 0.5 + 0.5 * std::cos(std::numbers::pi * k / (kHalf + 1));
        taps[k + kHalf] = sinc * hann;
    }
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t i = 0; i < x.size(); ++i)
        for (int k = -kHalf; k <= kHalf; ++k) {
            const long j = static_cast<long>(i) - k;
            if (j >= 0 && j < static_cast<long>(x.size())) y[i] += taps[k + kHalf] * x[j];
        }
    return y;
}

// Six distinct tones; each main channel keeps its tone (SNR), no other channel's tone
// leaks in beyond the limit (cross-talk), the LFE carries its low tone.
void TonesRoundTrip(const Case& c, double minSnrDb, double maxCrossTalkDb) {
    SCOPED_TRACE(Describe(c));
    TempDir dir;
    const std::string mp2 = dir.File("tones.mp2");
    ASSERT_TRUE(Encode(c, mp2, [&](int ch, std::size_t i) {
        return kAmplitude *
               std::sin(2.0 * std::numbers::pi * kTones[ch] * static_cast<double>(i) / c.rate);
    }));
    const auto decoded = DecodeChecked(mp2);
    ASSERT_EQ(decoded.size(), 6u);
    double worstSnr = 1e9;
    double worstCross = -1e9;
    for (int ch = 0; ch < 5; ++ch) {
        const double own = ToneAmplitude(decoded[ch], kTones[ch], c.rate);
        EXPECT_NEAR(Db(own / kAmplitude), 0.0, 1.0) << kNames[ch] << " level";
        const double snr = ToneSnrDb(decoded[ch], kTones[ch], c.rate, 0);
        worstSnr = std::min(worstSnr, snr);
        EXPECT_GE(snr, minSnrDb) << kNames[ch];
        for (int other = 0; other < 6; ++other) {
            if (other == ch) continue;
            const double leak = Db(ToneAmplitude(decoded[ch], kTones[other], c.rate) / kAmplitude);
            worstCross = std::max(worstCross, leak);
            EXPECT_LE(leak, maxCrossTalkDb) << kNames[other] << " tone in " << kNames[ch];
        }
    }
    const double lfe = ToneAmplitude(decoded[5], kTones[5], c.rate);
    EXPECT_NEAR(Db(lfe / kAmplitude), 0.0, 3.0) << "LFE level";
    for (int other = 0; other < 5; ++other)
        EXPECT_LE(Db(ToneAmplitude(decoded[5], kTones[other], c.rate) / kAmplitude), -40.0)
            << kNames[other] << " tone in LFE";
    std::printf("%s: worst tone SNR %.1f dB, worst cross-talk %.1f dB, LFE level %.2f dB\n",
                Describe(c).c_str(), worstSnr, worstCross, Db(lfe / kAmplitude));
}

TEST(RoundTrip, SixTonesAt384EveryProcedureBothRates) {
    for (int rate : {48000, 44100})
        for (int procedure : {0, 1, 2, 3})
            TonesRoundTrip({rate, 384, procedure, "-2"}, 25.0, -40.0);
}

TEST(RoundTrip, SixTonesAt256EveryProcedureBothRates) {
    for (int rate : {48000, 44100})
        for (int procedure : {0, 1, 2, 3})
            TonesRoundTrip({rate, 256, procedure, "-2"}, 25.0, -40.0);
}

TEST(RoundTrip, SixTonesWithRandomTransmissionChannels) {
    for (int procedure : {0, 1, 2}) TonesRoundTrip({48000, 384, procedure, "-1"}, 25.0, -40.0);
}

// Noise in one main channel at a time: the noisy channel comes back (delayed by the
// filterbanks) with its SNR measured below 15 kHz, the other four stay (almost) silent.
TEST(RoundTrip, NoiseInOneChannelAtATime) {
    for (int kbps : {384, 256}) {
        for (int noisy = 0; noisy < 5; ++noisy) {
            const Case c{48000, kbps, 0, "-2"};
            SCOPED_TRACE(Describe(c) + ", noise in " + kNames[noisy]);
            TempDir dir;
            const std::string mp2 = dir.File("noise.mp2");
            std::mt19937 random(static_cast<unsigned>(noisy));
            std::normal_distribution<double> noise(0.0, 3000.0);
            std::vector<double> input(kSeconds * 48000);
            for (double& v : input) v = std::round(std::clamp(noise(random), -32000.0, 32000.0));
            ASSERT_TRUE(Encode(c, mp2, [&](int ch, std::size_t i) {
                return ch == noisy && i < input.size() ? input[i] : 0.0;
            }));
            const auto decoded = DecodeChecked(mp2);
            const std::vector<double> reference(input.begin() + static_cast<long>(kSettle),
                                                input.end());
            constexpr double kBandHz = 15000.0;
            const Match m = Compare(LowPass(decoded[noisy], kBandHz, 48000),
                                    LowPass(reference, kBandHz, 48000), 600);
            EXPECT_EQ(m.lag, 481);
            EXPECT_GE(m.snrDb, kbps == 384 ? 20.0 : 12.0);
            const double level = tavrisk::test::Rms(decoded[noisy]);
            double worst = -1e9;
            for (int other = 0; other < 5; ++other) {
                if (other == noisy) continue;
                const double leak = Db(tavrisk::test::Rms(decoded[other]) / level);
                worst = std::max(worst, leak);
                EXPECT_LE(leak, kbps == 384 ? -40.0 : -30.0) << kNames[other];
            }
            std::printf("%s, noise in %s: SNR %.1f dB (lag %d), worst leak %.1f dB\n",
                        Describe(c).c_str(), kNames[noisy], m.snrDb, m.lag, worst);
        }
    }
}

// Noise low-passed below about 100 Hz (four one-pole sections), scaled to `rms`.
std::vector<double> LowNoise(std::size_t count, int rate, unsigned seed, double rms) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double a = 1.0 - std::exp(-2.0 * std::numbers::pi * 100.0 / rate);
    std::array<double, 4> state{};
    std::vector<double> out(count);
    for (double& v : out) {
        double x = noise(random);
        for (double& s : state) x = s += a * (x - s);
        v = x;
    }
    const double scale = rms / tavrisk::test::Rms(out);
    for (double& v : out) v = std::round(v * scale);
    return out;
}

// Broadband noise in the main channels and low noise in the LFE: the decoded LFE lags its
// input as the main channels lag theirs (the encoder reads the LFE ahead by its low-pass's
// delay), and the end of the LFE is not lost.
TEST(RoundTrip, LfeInStepWithTheMainChannels) {
    for (int rate : {48000, 44100}) {
        const Case c{rate, 384, 0, "-2"};
        SCOPED_TRACE(Describe(c));
        TempDir dir;
        const std::string mp2 = dir.File("lfe.mp2");
        const std::size_t count = kSeconds * rate;
        std::vector<std::vector<double>> input(6, std::vector<double>(count));
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 2000.0);
        for (int ch = 0; ch < 5; ++ch)
            for (double& v : input[ch]) v = std::round(noise(random));
        input[5] = LowNoise(count, rate, 11, 6000.0);
        ASSERT_TRUE(
            Encode(c, mp2, [&](int ch, std::size_t i) { return i < count ? input[ch][i] : 0.0; }));
        const auto decoded = DecodeChecked(mp2);
        auto settled = [&](int ch) {
            return std::vector<double>(input[ch].begin() + static_cast<long>(kSettle),
                                       input[ch].end());
        };
        const Match main = Compare(decoded[0], settled(0), 600);
        const Match lfe = Compare(decoded[5], settled(5), 1400);
        std::printf("%s: main channels lag %d, LFE lag %d (SNR %.1f dB)\n", Describe(c).c_str(),
                    main.lag, lfe.lag, lfe.snrDb);
        EXPECT_EQ(main.lag, 481);
        EXPECT_NEAR(lfe.lag, main.lag, 48);
        EXPECT_GE(lfe.snrDb, 10.0);
        // The input's last LFE stretch still reaches the decoded stream's end.
        const std::size_t tail = static_cast<std::size_t>(rate) / 10;
        const std::vector<double> lastIn(input[5].end() - static_cast<long>(tail), input[5].end());
        const auto& out = decoded[5];
        const long end = static_cast<long>(count - kSettle) + lfe.lag;
        if (end <= static_cast<long>(out.size())) {
            const std::vector<double> lastOut(out.begin() + end - static_cast<long>(tail),
                                              out.begin() + end);
            EXPECT_GE(Compare(lastOut, lastIn, 0).snrDb, 6.0) << "LFE end";
        }
    }
}

// Speech-like: noise band-passed to 200 Hz - 4 kHz, gated in 200 ms bursts with 20 ms
// ramps.
std::vector<double> SpeechLike(std::size_t count, int rate, unsigned seed, double rms) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> x(count);
    for (double& v : x) v = noise(random);
    const auto high = LowPass(x, 4000.0, rate);
    const auto low = LowPass(x, 200.0, rate);
    const auto burst = static_cast<std::size_t>(rate / 5);
    const double ramp = rate / 50.0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t inBurst = i % (2 * burst);
        const double edge = std::min<double>(inBurst, burst - std::min(inBurst, burst));
        const double gate = inBurst < burst ? std::min(1.0, edge / ramp) : 0.0;
        x[i] = (high[i] - low[i]) * gate;
    }
    const double scale = rms / tavrisk::test::Rms(x);
    for (double& v : x) v = std::round(v * scale);
    return x;
}

// The centre alone, as dialogue or noise: Lo and Ro carry the same signal, and no other
// channel may get the centre's coding noise (L, R and the surrounds are derived from Lo, Ro
// and the centre).
TEST(RoundTrip, CentreAloneStaysInTheCentre) {
    struct Limit {
        int kbps;
        double leakDb;
    };
    for (const Limit limit : {Limit{384, -55.0}, Limit{256, -45.0}, Limit{192, -40.0}}) {
        for (bool speech : {true, false}) {
            const Case c{48000, limit.kbps, 0, "-2"};
            const char* kind = speech ? "speech-like" : "noise";
            SCOPED_TRACE(Describe(c) + ", " + kind + " in C");
            TempDir dir;
            const std::string mp2 = dir.File("centre.mp2");
            const std::size_t count = kSeconds * c.rate;
            std::vector<double> centre = SpeechLike(count, c.rate, 5, 3000.0);
            if (!speech) {
                std::mt19937 random(3);
                std::normal_distribution<double> noise(0.0, 3000.0);
                for (double& v : centre) v = std::round(noise(random));
            }
            ASSERT_TRUE(Encode(c, mp2, [&](int ch, std::size_t i) {
                return ch == 1 && i < count ? centre[i] : 0.0;
            }));
            const auto decoded = DecodeChecked(mp2);
            const double level = tavrisk::test::Rms(decoded[1]);
            double worst = -1e9;
            for (int other : {0, 2, 3, 4}) {
                const double leak = Db(tavrisk::test::Rms(decoded[other]) / level);
                worst = std::max(worst, leak);
                EXPECT_LE(leak, limit.leakDb) << kNames[other];
            }
            std::printf("%s, %s in C: worst leak %.1f dB\n", Describe(c).c_str(), kind, worst);
        }
    }
}

// Every bitrate at every rate gives frames the checker finds clean (lengths, padding, both
// allocation tables, check words, nothing beyond a frame).
TEST(RoundTrip, EveryBitrateAndRateChecksClean) {
    for (int rate : {48000, 44100, 32000}) {
        for (int kbps : {64, 96, 112, 128, 160, 192, 224, 256, 320, 384}) {
            const Case c{rate, kbps, 0, "-2"};
            SCOPED_TRACE(Describe(c));
            TempDir dir;
            const std::string mp2 = dir.File("rate.mp2");
            ASSERT_TRUE(Encode(
                c, mp2,
                [&](int ch, std::size_t i) {
                    return kAmplitude * std::sin(2.0 * std::numbers::pi * kTones[ch] *
                                                 static_cast<double>(i) / rate);
                },
                0.25));
            const std::string frames = std::to_string((rate / 4 + 1151) / 1152);
            std::string report;
            EXPECT_EQ(Check(mp2, &report), 0) << report;
            EXPECT_NE(report.find(frames + " frame(s), " + frames +
                                  " with multichannel extension, 0 damaged; 0 error(s), "
                                  "0 warning(s)"),
                      std::string::npos)
                << report;
        }
    }
}

// The compatible pair of our encoder's stream decodes as ffmpeg decodes it.
TEST(RoundTrip, CompatiblePairMatchesFfmpeg) {
    if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    for (int rate : {48000, 44100}) {
        const Case c{rate, 384, 0, "-2"};
        SCOPED_TRACE(Describe(c));
        TempDir dir;
        const std::string mp2 = dir.File("pair.mp2");
        ASSERT_TRUE(Encode(c, mp2, [&](int ch, std::size_t i) {
            return kAmplitude *
                   std::sin(2.0 * std::numbers::pi * kTones[ch] * static_cast<double>(i) / rate);
        }));
        ExpectPairMatchesFfmpeg(mp2, dir, Describe(c));
    }
}

}  // namespace
}  // namespace tavrisk::mp2dec::test
