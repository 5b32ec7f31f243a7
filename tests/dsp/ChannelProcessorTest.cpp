// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dsp/ChannelProcessor.h"
#include "dsp/DrpCurve.h"

namespace tavrisk {
namespace {

// Settings as plain fields, columns L, R, C, LFE, LS, RS; a job's settings from them.
struct FakeSettings {
    static constexpr int kColumns = ChannelSettings::kColumns;

    FakeSettings() {
        for (int k = 0; k < kColumns; ++k) routing[k] = k;
        sliders.fill(100);
    }
    ChannelControls Controls() const {
        ChannelControls controls;
        controls.routing = routing;
        controls.sliderPositions = sliders;
        controls.normalizeLinkMode = normalizeLink;
        controls.drpLinkMode = drpLink;
        return controls;
    }
    operator ChannelJobSettings() {
        ChannelJobSettings job;
        job.normalize = normalize;
        job.drp = drp;
        job.outputRate = rate;
        job.controls = Controls();
        for (int k = 0; k < kColumns; ++k) {
            const auto count = static_cast<std::size_t>(curves[k].GetPointCount());
            job.curves[k].inputDb.resize(count);
            job.curves[k].outputDb.resize(count);
            curves[k].GetPointsDb(job.curves[k].inputDb.data(), job.curves[k].outputDb.data());
            job.curves[k].releaseMs = curves[k].GetReleaseMs();
        }
        return job;
    }

    std::array<int, kColumns> routing{};
    std::array<int, kColumns> sliders{};
    std::array<DrpCurve, kColumns> curves{DrpCurve(300, 243), DrpCurve(300, 243),
                                          DrpCurve(300, 243), DrpCurve(300, 243),
                                          DrpCurve(300, 243), DrpCurve(300, 243)};
    bool normalize = false;
    bool drp = false;
    int normalizeLink = 0;
    int drpLink = 0;
    int rate = 48000;
};

using Results = std::array<int32_t, ChannelProcessor::kChannels>;

// A frame with one value in one column (16-bit units) and silence elsewhere.
std::array<float, 6> Frame(int column, float value16) {
    std::array<float, 6> frame{};
    frame[column] = value16 / 32767.0f;
    return frame;
}

TEST(ChannelProcessor, RoutingFeedsEachColumnFromItsSelectedInput) {
    FakeSettings settings;
    settings.routing = {2, 1, 0, 3, 5, 4};  // L <- C, C <- L, LS <- RS, RS <- LS
    ChannelProcessor processor(settings);
    const std::array<float, 6> frame = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
    Results out{};
    processor.Process(frame.data(), out, false);
    EXPECT_EQ(out[ChannelProcessor::kResL], std::llroundl(0.3f * 32767.0L));
    EXPECT_EQ(out[ChannelProcessor::kResC], std::llroundl(0.1f * 32767.0L));
    EXPECT_EQ(out[ChannelProcessor::kResR], std::llroundl(0.2f * 32767.0L));
    EXPECT_EQ(out[ChannelProcessor::kResLfe], std::llroundl(0.4f * 32767.0L));
    EXPECT_EQ(out[ChannelProcessor::kResLs], std::llroundl(0.6f * 32767.0L));
    EXPECT_EQ(out[ChannelProcessor::kResRs], std::llroundl(0.5f * 32767.0L));
}

TEST(ChannelProcessor, ScalesRoundsAndClipsToThe16BitRange) {
    FakeSettings settings;
    ChannelProcessor processor(settings);
    Results out{};
    const std::array<float, 6> frame = {0.5f, -0.99999f, 1.0f, -1.0f, 1.5f, -1.5f};
    processor.Process(frame.data(), out, false);
    EXPECT_EQ(out[ChannelProcessor::kResL], 16384);   // 16383.5: halves away from zero
    EXPECT_EQ(out[ChannelProcessor::kResR], -32767);  // -32766.67
    EXPECT_EQ(out[ChannelProcessor::kResC], 32767);
    EXPECT_EQ(out[ChannelProcessor::kResLfe], -32767);
    EXPECT_EQ(out[ChannelProcessor::kResLs], 32767);   // 49150 clipped
    EXPECT_EQ(out[ChannelProcessor::kResRs], -32768);
}

TEST(ChannelProcessor, ScalingRoundsTheExactProduct) {
    // Exact in extended precision: 24 + 24 + 15 bits.
    auto extended = [](float g, float s) {
        return static_cast<int32_t>(std::llroundl(static_cast<long double>(g) * s * 32767.0L));
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<float> gains(0.0f, 40.0f), samples(-1.0f, 1.0f);
    for (int i = 0; i < 200000; ++i) {
        const float g = gains(random), s = samples(random);
        ASSERT_EQ(ChannelProcessor::ScaleToSample(g, s), extended(g, s)) << g << " " << s;
        ASSERT_EQ(ChannelProcessor::ScaleAtUnity(s * g), extended(1.0f, s * g)) << s * g;
    }
    // Whole 16-bit values read from files, at unity gain and at normalisation gains.
    for (int value = -32768; value <= 32767; ++value) {
        const float s = static_cast<float>(value) * (1.0f / 32767.0f);
        ASSERT_EQ(ChannelProcessor::ScaleToSample(1.0f, s), extended(1.0f, s)) << value;
        ASSERT_EQ(ChannelProcessor::ScaleToSample(1.7f, s), extended(1.7f, s)) << value;
        ASSERT_EQ(ChannelProcessor::ScaleAtUnity(s), value) << value;
    }
    // Products on a half go away from zero; those that the double product rounds onto a half
    // go where their exact value lies (to 16444, -16438, 2 and 16379).
    const std::pair<float, float> nearHalves[] = {{1.0f, 0.5f},
                                                  {0x1.3482d6p+1f, 0x1.aa6f7p-3f},
                                                  {0x1.9693dcp+0f, -0x1.437608p-2f},
                                                  {0x1.424ee6p+1f, 0x1.fc594ep-16f},
                                                  {0x1.b6f96ap+0f, 0x1.2a7efp-2f}};
    for (const auto& [g, s] : nearHalves)
        EXPECT_EQ(ChannelProcessor::ScaleToSample(g, s), extended(g, s)) << g << " " << s;
    EXPECT_EQ(ChannelProcessor::ScaleToSample(1e9f, 1.0f), std::numeric_limits<int32_t>::max());
}

TEST(ChannelProcessor, AnalysisRaisesPeaksAndShowsThemInColumnOrder) {
    FakeSettings settings;
    settings.drp = true;
    ChannelProcessor processor(settings);
    EXPECT_TRUE(processor.Analyze(Frame(ChannelProcessor::kColC, 16000.0f).data()));
    EXPECT_TRUE(processor.Analyze(Frame(ChannelProcessor::kColC, -20000.0f).data()));
    EXPECT_FALSE(processor.Analyze(Frame(ChannelProcessor::kColC, 100.0f).data()));
    const float peak = static_cast<float>(static_cast<int32_t>((20000.0f / 32767.0f) * 32767.0L));
    EXPECT_EQ(processor.Peaks()[ChannelProcessor::kResC], peak);
    const auto shownPeaks = processor.PeakLevelsDb();
    EXPECT_NEAR(shownPeaks[ChannelProcessor::kColC], 20 * std::log10(peak / 32767.0), 1e-4);
    EXPECT_TRUE(std::isinf(shownPeaks[ChannelProcessor::kColL]));
    // The analysis pass never runs the dynamics: the detector stays at rest.
    EXPECT_EQ(processor.Envelopes()[ChannelProcessor::kColC], 0.0f);
}

// A 16-bit sample's peak is its whole value, in a run as frame by frame; a deeper sample's is
// not rounded to one, so that normalising a quiet source does not overshoot.
TEST(ChannelProcessor, PeaksOfWholeValuesAreExactAndDeeperOnesKeepTheirFraction) {
    FakeSettings settings;
    settings.normalize = true;
    ChannelProcessor processor(settings);
    const ChannelProcessor::FrameLayout layout = {0, 1, 2, 3, 4, 5};
    for (int value = -32768; value <= 32767; ++value) {
        std::array<float, 6> frame{};  // as 16-bit sources scale their samples
        frame[ChannelProcessor::kColC] = static_cast<float>(value) * (1.0f / 32767.0f);
        processor.ResetPeaks();
        processor.Analyze(frame.data());
        ASSERT_EQ(processor.Peaks()[ChannelProcessor::kResC], std::abs(value)) << value;
        processor.ResetPeaks();
        processor.AnalyzeRun(frame.data(), 1, layout);
        ASSERT_EQ(processor.Peaks()[ChannelProcessor::kResC], std::abs(value)) << value;
    }
    processor.ResetPeaks();
    processor.AnalyzeRun(Frame(ChannelProcessor::kColC, -10.37f).data(), 1, layout);
    EXPECT_FLOAT_EQ(processor.Peaks()[ChannelProcessor::kResC], 10.37f);
    processor.ComputeNormalizeGains();
    Results out{};
    processor.Process(Frame(ChannelProcessor::kColC, 10.37f).data(), out, false);
    EXPECT_EQ(out[ChannelProcessor::kResC], 32767);
}

TEST(ChannelProcessor, NormalisationLinkGroupsShareTheLoudestPeak) {
    FakeSettings settings;
    settings.normalize = true;
    settings.normalizeLink = 1;
    ChannelProcessor processor(settings);
    std::array<float, 6> frame{};
    frame[ChannelProcessor::kColL] = 16000.0f / 32767.0f;
    frame[ChannelProcessor::kColR] = 32000.0f / 32767.0f;
    frame[ChannelProcessor::kColC] = 8000.0f / 32767.0f;
    processor.Analyze(frame.data());
    const float peakL = processor.Peaks()[ChannelProcessor::kResL];
    const float peakR = processor.Peaks()[ChannelProcessor::kResR];
    processor.ComputeNormalizeGains();
    const auto& gain = processor.Gains();
    const float target = static_cast<float>(100 * 327.67);
    EXPECT_FLOAT_EQ(gain[ChannelProcessor::kResL], target * (1.0f / std::max(peakL, peakR)));
    EXPECT_FLOAT_EQ(gain[ChannelProcessor::kResR], gain[ChannelProcessor::kResL]);
    EXPECT_FLOAT_EQ(gain[ChannelProcessor::kResC],
                    target / processor.Peaks()[ChannelProcessor::kResC]);
    // Silent channels keep their level instead of dividing by zero.
    EXPECT_EQ(gain[ChannelProcessor::kResLs], 1.0f);
    EXPECT_EQ(gain[ChannelProcessor::kResLfe], 1.0f);

    settings.normalizeLink = 3;  // L R C LS RS together, LFE alone: gains follow at once
    processor.SetControls(settings.Controls());
    EXPECT_FLOAT_EQ(gain[ChannelProcessor::kResC], gain[ChannelProcessor::kResR]);
    EXPECT_EQ(gain[ChannelProcessor::kResLfe], 1.0f);

    settings.sliders[ChannelProcessor::kColR] = 50;  // each channel keeps its own target
    processor.SetControls(settings.Controls());
    EXPECT_FLOAT_EQ(gain[ChannelProcessor::kResR] * 2.0f, gain[ChannelProcessor::kResL]);
}

TEST(ChannelProcessor, GainsApplyInTheOutputPass) {
    FakeSettings settings;
    settings.normalize = true;
    ChannelProcessor processor(settings);
    processor.Analyze(Frame(ChannelProcessor::kColL, 8000.0f).data());
    processor.ComputeNormalizeGains();
    Results out{};
    processor.Process(Frame(ChannelProcessor::kColL, 8000.0f).data(), out, false);
    EXPECT_NEAR(out[ChannelProcessor::kResL], 32767, 1);
}

TEST(ChannelProcessor, IdentityCurveKeepsNewPeaks) {
    FakeSettings settings;
    settings.drp = true;
    for (auto& curve : settings.curves) curve.EnsureDefaultCurve();
    for (float value : {16384.0f, 1000.0f, -20000.0f, 32767.0f, 1.0f}) {
        ChannelProcessor fresh(settings);
        Results out{};
        fresh.Process(Frame(ChannelProcessor::kColL, value).data(), out, false);
        EXPECT_EQ(out[ChannelProcessor::kResL], static_cast<int32_t>(value)) << value;
    }
}

TEST(ChannelProcessor, ReleaseFallsLinearlyOverTheReleaseTime) {
    FakeSettings settings;
    settings.drp = true;  // 300 ms at 48000 Hz: N = 14400
    ChannelProcessor processor(settings);
    Results out{};
    processor.Process(Frame(ChannelProcessor::kColL, 10000.0f).data(), out, false);
    const float peak = processor.Envelopes()[ChannelProcessor::kColL];
    const int32_t held = static_cast<int32_t>(peak);
    std::vector<float> envelope;
    const std::array<float, 6> silence{};
    for (int i = 0; i < 14402; ++i) {
        processor.Process(silence.data(), out, false);
        envelope.push_back(processor.Envelopes()[ChannelProcessor::kColL]);
    }
    EXPECT_EQ(envelope[0], static_cast<float>(held));
    EXPECT_EQ(envelope[1], static_cast<float>(held - held / 14400));
    EXPECT_EQ(envelope[2], static_cast<float>(held - 2 * held / 14400));
    EXPECT_GT(envelope[14399], 0.0f);
    EXPECT_EQ(envelope[14400], 0.0f);  // the 14401st sample after the peak
    EXPECT_EQ(envelope[14401], 0.0f);
}

TEST(ChannelProcessor, ReleaseMatchesTheFormulaOnEverySample) {
    struct Case {
        int releaseMs, rate;
        float peak;
    };
    for (const Case& c : {Case{7, 44100, 31111.0f}, Case{1000, 48000, 123.0f},
                          Case{60000, 48000, 32767.0f}, Case{1, 44100, 20000.0f}}) {
        FakeSettings settings;
        settings.drp = true;
        settings.rate = c.rate;
        settings.curves[ChannelProcessor::kColR].SetReleaseMs(c.releaseMs);
        ChannelProcessor processor(settings);
        Results out{};
        processor.Process(Frame(ChannelProcessor::kColR, c.peak).data(), out, false);
        const int64_t held = static_cast<int32_t>(processor.Envelopes()[ChannelProcessor::kColR]);
        const int64_t n = static_cast<int64_t>(c.releaseMs) * c.rate / 1000;
        const std::array<float, 6> silence{};
        for (int64_t k = 0; k <= std::min<int64_t>(n, 50000); ++k) {
            processor.Process(silence.data(), out, false);
            const float formula = static_cast<float>(held - k * held / n);
            ASSERT_EQ(processor.Envelopes()[ChannelProcessor::kColR], formula)
                << c.releaseMs << " ms, sample " << k;
        }
    }
}

TEST(ChannelProcessor, ZeroReleaseFollowsTheSignal) {
    FakeSettings settings;
    settings.drp = true;
    settings.curves[ChannelProcessor::kColL].SetReleaseMs(0);
    ChannelProcessor processor(settings);
    Results out{};
    processor.Process(Frame(ChannelProcessor::kColL, 10000.0f).data(), out, false);
    processor.Process(Frame(ChannelProcessor::kColL, 5000.0f).data(), out, false);
    EXPECT_NEAR(processor.Envelopes()[ChannelProcessor::kColL], 5000.0f, 1.0f);
    EXPECT_NEAR(out[ChannelProcessor::kResL], 5000, 2);
}

TEST(ChannelProcessor, DrpLinkingSharesEnvelopesButNeverTheLfe) {
    FakeSettings settings;
    settings.drp = true;
    settings.drpLink = 2;
    ChannelProcessor processor(settings);
    std::array<float, 6> frame{};
    frame[ChannelProcessor::kColLs] = 0.5f;
    frame[ChannelProcessor::kColLfe] = 0.25f;
    Results out{};
    processor.Process(frame.data(), out, false);
    const auto& env = processor.Envelopes();
    EXPECT_EQ(env[ChannelProcessor::kColL], env[ChannelProcessor::kColLs]);
    EXPECT_EQ(env[ChannelProcessor::kColRs], env[ChannelProcessor::kColLs]);
    EXPECT_EQ(env[ChannelProcessor::kColC], 0.0f);
    EXPECT_NEAR(env[ChannelProcessor::kColLfe], 0.25f * 32767.0f, 1.0f);
}

TEST(ChannelProcessor, CompressionCurveLowersLoudSamples) {
    FakeSettings settings;
    settings.drp = true;
    const float in[] = {-100.0f, -20.0f, 0.0f};
    const float outDb[] = {-100.0f, -20.0f, -10.0f};  // 2:1 above -20 dB
    DrpCurve& curve = settings.curves[ChannelProcessor::kColL];
    curve.SetPointsDb(in, outDb, 3);
    float storedIn[3], storedOut[3];  // the plot's pixels round the levels a little
    curve.GetPointsDb(storedIn, storedOut);
    ChannelProcessor processor(settings);
    Results out{};
    processor.Process(Frame(ChannelProcessor::kColL, 32767.0f).data(), out, false);
    EXPECT_NEAR(out[ChannelProcessor::kResL], 32767.0 * std::pow(10.0, storedOut[2] / 20.0), 2.0);
    EXPECT_LT(out[ChannelProcessor::kResL], 11000);
}

TEST(ChannelProcessor, InterpolationPassesLevelsOutsideTheCurveAndResolvesTies) {
    const float xIn[] = {-60.0f, -30.0f, -30.0f, 0.0f};
    const float yOut[] = {-60.0f, -40.0f, -20.0f, -10.0f};
    EXPECT_EQ(ChannelProcessor::InterpolateCurve(xIn, yOut, 4, -80.0f), -80.0f);
    EXPECT_EQ(ChannelProcessor::InterpolateCurve(xIn, yOut, 4, 3.0f), 3.0f);
    EXPECT_FLOAT_EQ(ChannelProcessor::InterpolateCurve(xIn, yOut, 4, -45.0f), -50.0f);
    EXPECT_EQ(ChannelProcessor::InterpolateCurve(xIn, yOut, 4, -30.0f), -40.0f);
    EXPECT_EQ(ChannelProcessor::InterpolateCurve(xIn, yOut, 1, -7.0f), -7.0f);
}

}  // namespace
}  // namespace tavrisk
