// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "dsp/ChannelSettings.h"

namespace tavrisk {

// The per-frame chain every source runs: routing, gain, dynamic range processing along each
// channel's curve, clipping and (where nothing follows) rounding to 16-bit values; plus the
// peak measurement and gain computation of two-pass normalisation. At gain 1.0 without
// dynamics, a frame read from 16-bit samples comes out as it was, -32768 included. The
// dynamics take the scaled values with their fractions, so that a deeper source keeps its
// precision through them.
//
// Frames come in column order L, R, C, LFE, LS, RS; results, peaks and gains are in the
// order L, C, R, LS, RS, LFE.
class ChannelProcessor {
  public:
    static constexpr int kChannels = 6;
    static constexpr float kFullScale = 32767.0f;
    // A 16-bit sample as the chain takes it (full scale +-1.0).
    static constexpr float kSampleScale = 1.0f / kFullScale;
    // The 16-bit range the chain clips to: every 16-bit value passes.
    static constexpr int32_t kMaxSample = 32767;
    static constexpr int32_t kMinSample = -32768;
    static constexpr float kSliderToTarget = 327.67f;
    // Result-order slots.
    enum Result { kResL = 0, kResC, kResR, kResLs, kResRs, kResLfe };
    // Column-order slots.
    enum Column { kColL = 0, kColR, kColC, kColLfe, kColLs, kColRs };
    // Result slot of each column.
    static constexpr std::array<int, kChannels> kResultOfColumn = {kResL,   kResR,  kResC,
                                                                   kResLfe, kResLs, kResRs};

    // Takes the settings of this job: switches, curves and the controls at its start.
    explicit ChannelProcessor(const ChannelJobSettings& settings);

    // The controls of the next block (routing, link modes, normalisation targets). With
    // normalisation gains already computed, new targets or links recompute them.
    void SetControls(const ChannelControls& newControls);
    const ChannelControls& Controls() const { return controls; }

    // One frame in column order; results in result order.
    void Process(const float* columnFrame, std::array<int32_t, kChannels>& results,
                 bool analysisOnly);
    // One analysis-pass frame: processes without dynamics and raises the peaks. True when a
    // peak rose.
    bool Analyze(const float* columnFrame);

    // Results of a frame in column order (which is the block-row order), on the 16-bit scale.
    using ColumnFrame = std::array<float, kChannels>;
    // Whether a run's results are rounded to whole values (the chain ends here) or keep their
    // fractions for a later stage, which rounds them with ClipAndRound.
    enum class Rounding { kWhole, kKeepFraction };
    // Where each column's sample sits within a frame of kChannels floats.
    using FrameLayout = std::array<int, kChannels>;
    // A run of `count` frames laid out as `layout` says: the results Process gives frame by
    // frame, in column order (with kKeepFraction, clipped but not rounded). The routing is
    // resolved once for the run.
    void ProcessRun(const float* frames, std::size_t count, const FrameLayout& layout,
                    ColumnFrame* out, Rounding rounding = Rounding::kWhole);
    // The analysis pass over a run: Analyze frame by frame. True when a peak rose.
    bool AnalyzeRun(const float* frames, std::size_t count, const FrameLayout& layout);
    void ResetPeaks() { peak.fill(0.0f); }
    void ComputeNormalizeGains();
    // One gain factor for every channel (loudness normalisation), in place of the gains
    // from the peaks; the sliders and link groups do not change it.
    void SetCommonGain(float factor);
    // The peaks in dB (20 log10(peak / 32767)), in column order.
    std::array<float, kChannels> PeakLevelsDb() const;

    bool NormalizeEnabled() const { return normalizeEnabled; }
    bool DynamicsEnabled() const { return dynamicsEnabled; }
    const std::array<float, kChannels>& Peaks() const { return peak; }
    const std::array<float, kChannels>& Gains() const { return gain; }
    const std::array<float, kChannels>& Envelopes() const { return envelope; }

    // The nearest whole value (halves away from zero) of x, |x| below 2^31: exact, as x minus
    // its truncation is.
    static int32_t RoundToSample(double x) {
        const auto whole = static_cast<int32_t>(x);
        const double fraction = x - static_cast<double>(whole);
        return whole + (fraction >= 0.5 ? 1 : 0) - (fraction <= -0.5 ? 1 : 0);
    }
    // round(gain x sample x 32767) of the exact product (as extended precision gives it),
    // saturated to 32 bits. The product of two floats is exact in double; only the
    // multiplication by 32767 rounds, and its error (exact through fma) matters only when
    // the rounded value lies exactly half-way between two whole numbers.
    static int32_t ScaleToSample(float gainFactor, float sample) {
        const double product = static_cast<double>(gainFactor) * static_cast<double>(sample);
        const double scaled = product * static_cast<double>(kFullScale);
        if (!(std::fabs(scaled) < kRoundingLimit)) return Saturated(scaled);
        const auto whole = static_cast<int32_t>(scaled);
        const double fraction = scaled - static_cast<double>(whole);
        if (fraction == 0.5 || fraction == -0.5) {
            // The exact value lies below a positive half (or above a negative one) when the
            // multiplication rounded it up (or down): then it goes toward zero.
            const double error = std::fma(product, static_cast<double>(kFullScale), -scaled);
            if ((fraction > 0.0 && error < 0.0) || (fraction < 0.0 && error > 0.0)) return whole;
        }
        return RoundToSample(scaled);
    }
    // The same at gain 1.0, where the product is exact in double and needs no correction. A
    // 16-bit value v read as v x (1/32767) in single precision comes back as v.
    static int32_t ScaleAtUnity(float sample) {
        const double scaled = static_cast<double>(sample) * static_cast<double>(kFullScale);
        if (!(std::fabs(scaled) < kRoundingLimit)) return Saturated(scaled);
        return RoundToSample(scaled);
    }
    // The clipping to the 16-bit range and rounding that end the chain.
    static int32_t ClipAndRound(float value) {
        double clipped = value;
        if (clipped > kMaxSample) clipped = kMaxSample;
        if (clipped < kMinSample) clipped = kMinSample;
        return RoundToSample(clipped);
    }
    // Output level in dB for input level x on the polyline (xIn ascending).
    static float InterpolateCurve(const float* xIn, const float* yOut, int n, float x);
    static float Max2(float a, float b) { return a > b ? a : b; }
    static float Max4(float a, float b, float c, float d) { return Max2(Max2(a, b), Max2(c, d)); }
    static float Max5(float a, float b, float c, float d, float e) {
        return Max2(Max4(a, b, c, d), e);
    }

  private:
    // Below this magnitude RoundToSample cannot overflow.
    static constexpr double kRoundingLimit = 2147483647.0;
    // A value beyond the 32-bit range: its limit; NaN gives 0.
    static int32_t Saturated(double x) {
        if (x != x) return 0;
        return x > 0.0 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min();
    }

    // Frames scaled at a time before the dynamics run over them.
    static constexpr std::size_t kChunkFrames = 256;
    static constexpr int kMuted = -1;

    // A chunk's scaled values column by column: kChunkFrames values per column.
    using ChunkColumns = std::array<std::array<float, kChunkFrames>, kChannels>;
    // The release in progress: N samples from the held peak H, and (counter x H) / N kept as
    // a whole part and remainder that advance by H / N and H % N per sample.
    struct Release {
        int64_t samples = 0;
        int64_t held = 0;
        int64_t stepWhole = 0;
        int64_t stepRemainder = 0;
        int64_t fallWhole = 0;
        int64_t fallRemainder = 0;
    };

    // The position in a frame of each routed column's sample, or kMuted.
    FrameLayout RoutedLayout(const FrameLayout& layout) const;
    // ProcessRun over at most kChunkFrames frames, with the routing resolved.
    void ProcessChunk(const float* frames, std::size_t count, const FrameLayout& routed,
                      bool dynamics, Rounding rounding, ColumnFrame* out);
    // Column `column` of `count` frames, scaled by its gain as Process does, into `v`: rounded
    // to whole values with kWhole, else with their fractions. `slot` is where its sample sits
    // in a frame, or kMuted.
    void ScaleColumn(const float* frames, std::size_t count, int slot, int column,
                     Rounding rounding, float* v) const;
    // One sample scaled by `gainFactor` (or at unity), kept with its fraction; NaN gives 0,
    // values beyond the 32-bit range its limits.
    float ScaleKeepingFraction(float gainFactor, float sample) const;
    // The loudest level of each column over a run, at gain 1.0: the highest and the lowest
    // sample scaled once each, as the scaling never falls with the sample. Not rounded to whole
    // 16-bit values, so that a deeper source's quiet peak keeps its precision.
    static void LoudestAtUnity(const float* frames, std::size_t count, const FrameLayout& routed,
                               std::array<float, kChannels>& loudest);
    void PrepareDynamics(const ChannelJobSettings& settings);
    void ApplyDynamics(std::array<float, kChannels>& v);
    // ApplyDynamics over `count` frames held column by column, one linked group at a time.
    void ApplyDynamicsRun(ChunkColumns& v, std::size_t count);
    template <std::size_t N>
    void ApplyDynamicsGroup(const std::array<int, N>& members, ChunkColumns& v, std::size_t count);
    void DetectLevel(int channel, float value) {
        Detect(envelope[channel], releases[channel], value);
    }
    // The level detector of one channel for one sample.
    static void Detect(float& level, Release& release, float value);
    // A new peak: the envelope jumps to it and a release from it starts.
    static void StartRelease(float& level, Release& release, float peakLevel);
    void LinkEnvelopes();
    // The curve's output level, as a whole 16-bit value, for an envelope level.
    int32_t ComputeTarget(int channel, float level) const;
    int32_t TargetOf(int channel, float level);

    ChannelControls controls;
    bool gainsComputed = false;
    std::array<float, kChannels> peak{};
    std::array<float, kChannels> gain{};
    bool normalizeEnabled = false;
    bool dynamicsEnabled = false;
    // All gains are 1.0: the scaling takes the exact short path.
    bool unityGains = true;
    int32_t sampleRate = 0;
    std::array<int32_t, kChannels> releaseMs{};
    std::array<float, kChannels> envelope{};
    std::array<Release, kChannels> releases{};
    std::array<std::vector<float>, kChannels> curveIn, curveOut;
    // Target of each whole envelope level, per channel; -1 until first needed.
    std::array<std::vector<int32_t>, kChannels> targetCache;
};

}  // namespace tavrisk
