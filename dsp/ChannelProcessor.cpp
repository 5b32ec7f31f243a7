// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/ChannelProcessor.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/KernelChoice.h"

namespace tavrisk {

namespace {

constexpr double kInverseFullScale = 1.0 / 32767.0;

// The nearest 32-bit int, saturating instead of overflowing; NaN gives 0.
int32_t RoundToInt32(double value) {
    if (!(value == value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return ChannelProcessor::RoundToSample(value);
}

// Envelope levels whose target is memoised: the whole 16-bit range.
constexpr int kCachedLevels = 32768;
constexpr int32_t kNotComputed = -1;

constexpr double kHighest = ChannelProcessor::kMaxSample;
constexpr double kLowest = ChannelProcessor::kMinSample;

// The sample scaled to the 16-bit range at gain 1.0, without calls or early returns, for a
// tight loop over many samples: NaN gives 0, everything beyond the range its limit.
inline double ClampedScaled(float sample) {
    double scaled = static_cast<double>(sample) * static_cast<double>(ChannelProcessor::kFullScale);
    scaled = scaled == scaled ? scaled : 0.0;
    scaled = scaled < kHighest ? scaled : kHighest;
    return scaled > kLowest ? scaled : kLowest;
}

// clamp(ScaleAtUnity(sample), -32768, 32767).
int32_t ClampedAtUnity(float sample) {
    return ChannelProcessor::RoundToSample(ClampedScaled(sample));
}

// Eight values side by side: the samples read from and the results written to any float,
// the scaled values, their bits and the whole values.
typedef float Floats8 __attribute__((vector_size(32), aligned(4), may_alias));
typedef double Doubles8 __attribute__((vector_size(64)));
typedef int64_t Bits8 __attribute__((vector_size(64)));
typedef int32_t Ints8 __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 8;
constexpr int64_t kSignBit = std::numeric_limits<int64_t>::min();
// The samples are clipped before they are scaled: at 1.0 (scaled, the highest value) and at
// the float nearest -32768 / 32767 (scaled, within a hundredth of the lowest, so that it
// rounds to it).
constexpr float kHighestSample = 1.0f;
constexpr float kLowestSample = static_cast<float>(kLowest / ChannelProcessor::kFullScale);

// ClampedAtUnity of eight samples at once. A half with the value's sign is added and the sum
// truncated: halves go away from zero, as RoundToSample takes them. The sum is exact wherever
// it could reach a whole value, as a scaled sample (a float times 32767) has at most 39
// significant bits: only a sum below 2^-10 in magnitude can round, and it truncates to 0.
[[gnu::always_inline]] inline void ClampedAtUnity8(Floats8& values) {
    Floats8 sample = values;
    sample = sample == sample ? sample : Floats8{};
    sample = sample < kHighestSample ? sample : kHighestSample;
    sample = sample > kLowestSample ? sample : kLowestSample;
    const Doubles8 scaled = __builtin_convertvector(sample, Doubles8) *
                            static_cast<double>(ChannelProcessor::kFullScale);
    const Doubles8 signedHalf = reinterpret_cast<Doubles8>(
        (reinterpret_cast<Bits8>(scaled) & kSignBit) | reinterpret_cast<Bits8>(Doubles8{} + 0.5));
    values = __builtin_convertvector(__builtin_convertvector(scaled + signedHalf, Ints8), Floats8);
}

// Frames of six floats, each frame's values put in the order `slots` gives and clamped and
// rounded: out[i][f] is ClampedAtUnity(in[i][slots[f]]).
using Slots = std::array<int, ChannelProcessor::kChannels>;
void ClampedInOrderPlain(const float* in, std::size_t count, const Slots& slots, float* out) {
    float* const first = out;
    for (std::size_t i = 0; i < count; ++i, in += ChannelProcessor::kChannels) {
#pragma GCC unroll 6
        for (int f = 0; f < ChannelProcessor::kChannels; ++f) *out++ = in[slots[f]];
    }
    const std::size_t values = count * ChannelProcessor::kChannels;
    std::size_t i = 0;
    for (; i + kLanes <= values; i += kLanes)
        ClampedAtUnity8(*reinterpret_cast<Floats8*>(first + i));
    for (; i < values; ++i) first[i] = static_cast<float>(ClampedAtUnity(first[i]));
}

// Four frames (three vectors) at a time: each value of a result is picked from the three
// vectors by its place within a vector, then the vector it lies in chosen.
[[gnu::target("avx2")]] void ClampedInOrderAvx2(const float* in, std::size_t count,
                                                const Slots& slots, float* out) {
    constexpr int kChannels = ChannelProcessor::kChannels;
    constexpr int kVectors = 3;
    constexpr std::size_t kFrames = 4;
    alignas(32) int place[kVectors][8];
    alignas(32) int inVector[kVectors][kVectors][8];
    for (int v = 0; v < kVectors; ++v) {
        for (int lane = 0; lane < 8; ++lane) {
            const int at = 8 * v + lane;
            const int from = at - at % kChannels + slots[at % kChannels];
            place[v][lane] = from % 8;
            for (int w = 0; w < kVectors; ++w) inVector[v][w][lane] = from / 8 == w ? -1 : 0;
        }
    }
    __m256i index[kVectors];
    __m256 mask[kVectors][kVectors];
    for (int v = 0; v < kVectors; ++v) {
        index[v] = _mm256_load_si256(reinterpret_cast<const __m256i*>(place[v]));
        for (int w = 0; w < kVectors; ++w)
            mask[v][w] = _mm256_castsi256_ps(
                _mm256_load_si256(reinterpret_cast<const __m256i*>(inVector[v][w])));
    }
    // Frames already in order (a decoder's, as the columns have it) are only clamped.
    constexpr Slots kInOrder = {0, 1, 2, 3, 4, 5};
    const bool inOrder = slots == kInOrder;
    std::size_t i = 0;
    for (; i + kFrames <= count; i += kFrames) {
        const float* from = in + i * kChannels;
        const __m256 source[kVectors] = {_mm256_loadu_ps(from), _mm256_loadu_ps(from + 8),
                                         _mm256_loadu_ps(from + 16)};
        if (inOrder) {
#pragma GCC unroll 3
            for (int v = 0; v < kVectors; ++v) {
                Floats8 clamped = source[v];
                ClampedAtUnity8(clamped);
                *reinterpret_cast<Floats8*>(out + i * kChannels + 8 * v) = clamped;
            }
            continue;
        }
#pragma GCC unroll 3
        for (int v = 0; v < kVectors; ++v) {
            __m256 result = _mm256_permutevar8x32_ps(source[0], index[v]);
            result =
                _mm256_blendv_ps(result, _mm256_permutevar8x32_ps(source[1], index[v]), mask[v][1]);
            result =
                _mm256_blendv_ps(result, _mm256_permutevar8x32_ps(source[2], index[v]), mask[v][2]);
            Floats8 clamped = result;
            ClampedAtUnity8(clamped);
            *reinterpret_cast<Floats8*>(out + i * kChannels + 8 * v) = clamped;
        }
    }
    ClampedInOrderPlain(in + i * kChannels, count - i, slots, out + i * kChannels);
}

const auto kClampedInOrder = ChooseAvx2Kernel(ClampedInOrderAvx2, ClampedInOrderPlain);

// A 16-bit sample read as a float, scaled back, lies within this share of its value from
// the whole value (two roundings to single precision).
constexpr double kWholeValueTolerance = 1.0 / (1 << 22);

// A sample scaled at gain 1.0 (|scaled| below 2^31), not rounded: a 16-bit sample comes
// back as its whole value, a deeper one keeps its fraction.
float WholeWhere16Bit(double scaled) {
    const int32_t whole = ChannelProcessor::RoundToSample(scaled);
    const bool wholeValue = std::fabs(scaled - whole) <= std::fabs(scaled) * kWholeValueTolerance;
    return static_cast<float>(wholeValue ? whole : scaled);
}

// The level of a sample at gain 1.0, clipped as ClampedAtUnity clips, not rounded, so that
// normalising a quiet source neither overshoots nor falls short.
float PeakAtUnity(float sample) {
    return WholeWhere16Bit(ClampedScaled(sample));
}

// The clipping to the 16-bit range that ends the chain, without its rounding.
float ClippedKeepingFraction(float value) {
    if (!(value < static_cast<float>(kHighest)))
        return value != value ? 0.0f : static_cast<float>(kHighest);
    return value > static_cast<float>(kLowest) ? value : static_cast<float>(kLowest);
}

float LevelDb(float value) {
    return static_cast<float>(20.0 * std::log10(static_cast<double>(value) * kInverseFullScale));
}

}  // namespace

ChannelProcessor::ChannelProcessor(const ChannelJobSettings& settings)
    : controls(settings.controls) {
    gain.fill(1.0f);
    normalizeEnabled = settings.normalize;
    dynamicsEnabled = settings.drp;
    PrepareDynamics(settings);
}

void ChannelProcessor::SetControls(const ChannelControls& newControls) {
    if (newControls == controls) return;
    const bool targetsChanged = newControls.sliderPositions != controls.sliderPositions ||
                                newControls.normalizeLinkMode != controls.normalizeLinkMode;
    controls = newControls;
    if (gainsComputed && targetsChanged) ComputeNormalizeGains();
}

void ChannelProcessor::SetCommonGain(float factor) {
    gain.fill(factor);
    gainsComputed = false;
    unityGains = factor == 1.0f;
}

void ChannelProcessor::PrepareDynamics(const ChannelJobSettings& settings) {
    sampleRate = settings.outputRate;
    for (int c = 0; c < kChannels; ++c) {
        const CurveCopy& curve = settings.curves[c];
        releaseMs[c] = curve.releaseMs;
        envelope[c] = 0.0f;
        // N = release x rate / 1000 samples; 64 bits, as long releases overflow 32.
        releases[c] = Release{};
        releases[c].samples = static_cast<int64_t>(releaseMs[c]) * sampleRate / 1000;
        if (dynamicsEnabled) targetCache[c].assign(kCachedLevels, kNotComputed);
        curveIn[c] = curve.inputDb;
        curveOut[c] = curve.outputDb;
        if (curveOut[c].size() != curveIn[c].size()) curveOut[c].resize(curveIn[c].size(), 0.0f);
    }
}

void ChannelProcessor::Process(const float* columnFrame, std::array<int32_t, kChannels>& results,
                               bool analysisOnly) {
    const bool dynamics = dynamicsEnabled && !analysisOnly;
    if (unityGains && !dynamics) {
        // Gain 1.0 without dynamics: scale, clip and round in one step (same results).
        for (int f = 0; f < kChannels; ++f) {
            const int from = controls.routing[f];
            const float sample = (from >= 0 && from < kChannels) ? columnFrame[from] : 0.0f;
            results[kResultOfColumn[f]] = std::clamp(ScaleAtUnity(sample), kMinSample, kMaxSample);
        }
        return;
    }
    std::array<float, kChannels> v{};
    for (int f = 0; f < kChannels; ++f) {
        const int from = controls.routing[f];
        const float sample = (from >= 0 && from < kChannels) ? columnFrame[from] : 0.0f;
        const float columnGain = gain[kResultOfColumn[f]];
        if (dynamics) {
            v[f] = ScaleKeepingFraction(columnGain, sample);
        } else {
            v[f] = static_cast<float>(unityGains ? ScaleAtUnity(sample)
                                                 : ScaleToSample(columnGain, sample));
        }
    }
    if (dynamics) ApplyDynamics(v);
    for (int f = 0; f < kChannels; ++f) results[kResultOfColumn[f]] = ClipAndRound(v[f]);
}

ChannelProcessor::FrameLayout ChannelProcessor::RoutedLayout(const FrameLayout& layout) const {
    FrameLayout routed{};
    for (int f = 0; f < kChannels; ++f) {
        const int from = controls.routing[f];
        routed[f] = (from >= 0 && from < kChannels) ? layout[from] : kMuted;
    }
    return routed;
}

void ChannelProcessor::ProcessRun(const float* frames, std::size_t count, const FrameLayout& layout,
                                  ColumnFrame* out, Rounding rounding) {
    const FrameLayout routed = RoutedLayout(layout);
    const bool anyMuted = std::find(routed.begin(), routed.end(), kMuted) != routed.end();
    if (rounding == Rounding::kWhole && unityGains && !dynamicsEnabled && !anyMuted) {
        // Nothing but clamping, rounding and reordering: the whole run in one pass (an empty
        // run may come without a place to write).
        if (count > 0) kClampedInOrder(frames, count, routed, out[0].data());
        return;
    }
    for (std::size_t done = 0; done < count; done += kChunkFrames) {
        ProcessChunk(frames + done * kChannels, std::min(count - done, kChunkFrames), routed,
                     dynamicsEnabled, rounding, out + done);
    }
}

bool ChannelProcessor::AnalyzeRun(const float* frames, std::size_t count,
                                  const FrameLayout& layout) {
    const FrameLayout routed = RoutedLayout(layout);
    std::array<float, kChannels> loudest{};
    if (unityGains) {
        LoudestAtUnity(frames, count, routed, loudest);
    } else {
        std::array<ColumnFrame, kChunkFrames> results;
        for (std::size_t done = 0; done < count; done += kChunkFrames) {
            const std::size_t n = std::min(count - done, kChunkFrames);
            ProcessChunk(frames + done * kChannels, n, routed, false, Rounding::kWhole,
                         results.data());
            for (std::size_t i = 0; i < n; ++i) {
                for (int f = 0; f < kChannels; ++f)
                    loudest[f] = std::max(loudest[f], std::fabs(results[i][f]));
            }
        }
    }
    // The peaks rise to the loudest level of the run; one of them rose when it passed it.
    bool rose = false;
    for (int f = 0; f < kChannels; ++f) {
        const float level = loudest[f];
        float& held = peak[kResultOfColumn[f]];
        if (level > held) {
            held = level;
            rose = true;
        }
    }
    return rose;
}

void ChannelProcessor::LoudestAtUnity(const float* frames, std::size_t count,
                                      const FrameLayout& routed,
                                      std::array<float, kChannels>& loudest) {
    for (int f = 0; f < kChannels; ++f) {
        const int slot = routed[f];
        if (slot == kMuted) continue;
        // NaN fails the comparisons and counts as silence, as its scaled value 0 does.
        float highest = 0.0f;
        float lowest = 0.0f;
        for (std::size_t i = 0; i < count; ++i) {
            const float sample = frames[i * kChannels + slot];
            highest = sample > highest ? sample : highest;
            lowest = sample < lowest ? sample : lowest;
        }
        loudest[f] = std::max(PeakAtUnity(highest), -PeakAtUnity(lowest));
    }
}

void ChannelProcessor::ProcessChunk(const float* frames, std::size_t count,
                                    const FrameLayout& routed, bool dynamics, Rounding rounding,
                                    ColumnFrame* out) {
    const bool whole = rounding == Rounding::kWhole;
    if (whole && unityGains && !dynamics) {
        for (int f = 0; f < kChannels; ++f) {
            const int slot = routed[f];
            if (slot == kMuted) {
                for (std::size_t i = 0; i < count; ++i) out[i][f] = 0.0f;
                continue;
            }
            for (std::size_t i = 0; i < count; ++i)
                out[i][f] = static_cast<float>(ClampedAtUnity(frames[i * kChannels + slot]));
        }
        return;
    }
    // The dynamics take the values with their fractions; rounded here, they would be rounded
    // twice.
    const Rounding scaling = dynamics ? Rounding::kKeepFraction : rounding;
    ChunkColumns v;
    for (int f = 0; f < kChannels; ++f)
        ScaleColumn(frames, count, routed[f], f, scaling, v[f].data());
    if (dynamics) ApplyDynamicsRun(v, count);
    for (std::size_t i = 0; i < count; ++i) {
#pragma GCC unroll 6
        for (int f = 0; f < kChannels; ++f) {
            out[i][f] =
                whole ? static_cast<float>(ClipAndRound(v[f][i])) : ClippedKeepingFraction(v[f][i]);
        }
    }
}

float ChannelProcessor::ScaleKeepingFraction(float gainFactor, float sample) const {
    const double scaled = (unityGains ? 1.0 : static_cast<double>(gainFactor)) *
                          static_cast<double>(sample) * static_cast<double>(kFullScale);
    if (!(std::fabs(scaled) < kRoundingLimit)) return static_cast<float>(Saturated(scaled));
    return unityGains ? WholeWhere16Bit(scaled) : static_cast<float>(scaled);
}

void ChannelProcessor::ScaleColumn(const float* frames, std::size_t count, int slot, int column,
                                   Rounding rounding, float* v) const {
    const float columnGain = gain[kResultOfColumn[column]];
    if (slot == kMuted) {
        std::fill(v, v + count, 0.0f);
        return;
    }
    const float* sample = frames + slot;
    if (rounding == Rounding::kKeepFraction) {
        for (std::size_t i = 0; i < count; ++i)
            v[i] = ScaleKeepingFraction(columnGain, sample[i * kChannels]);
        return;
    }
    if (unityGains) {
        for (std::size_t i = 0; i < count; ++i)
            v[i] = static_cast<float>(ScaleAtUnity(sample[i * kChannels]));
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
        v[i] = static_cast<float>(ScaleToSample(columnGain, sample[i * kChannels]));
}

bool ChannelProcessor::Analyze(const float* columnFrame) {
    std::array<float, kChannels> levels{};
    if (unityGains) {
        for (int f = 0; f < kChannels; ++f) {
            const int from = controls.routing[f];
            const float sample = (from >= 0 && from < kChannels) ? columnFrame[from] : 0.0f;
            levels[kResultOfColumn[f]] = std::fabs(PeakAtUnity(sample));
        }
    } else {
        std::array<int32_t, kChannels> results{};
        Process(columnFrame, results, true);
        for (int r = 0; r < kChannels; ++r) levels[r] = static_cast<float>(std::abs(results[r]));
    }
    bool rose = false;
    for (int r = 0; r < kChannels; ++r) {
        const float level = levels[r];
        if (level > peak[r]) {
            peak[r] = level;
            rose = true;
        }
    }
    return rose;
}

std::array<float, ChannelProcessor::kChannels> ChannelProcessor::PeakLevelsDb() const {
    std::array<float, kChannels> levelsDb{};
    for (int f = 0; f < kChannels; ++f) levelsDb[f] = LevelDb(peak[kResultOfColumn[f]]);
    return levelsDb;
}

void ChannelProcessor::ComputeNormalizeGains() {
    gainsComputed = true;
    const int mode = controls.normalizeLinkMode;
    if (mode < 0 || mode > 3) return;
    std::array<float, kChannels> target{};
    for (int f = 0; f < kChannels; ++f)
        target[kResultOfColumn[f]] = static_cast<float>(controls.sliderPositions[f] * 327.67);

    // A silent channel (or group) keeps gain 1.0: there is nothing to scale to a target.
    auto alone = [&](int r) { gain[r] = peak[r] > 0.0f ? target[r] / peak[r] : 1.0f; };
    auto group = [&](std::initializer_list<int> members, float loudest) {
        const float m = loudest > 0.0f ? 1.0f / loudest : 0.0f;
        for (int r : members) gain[r] = loudest > 0.0f ? target[r] * m : 1.0f;
    };
    switch (mode) {
        case 0:
            for (int r = 0; r < kChannels; ++r) alone(r);
            break;
        case 1:
            group({kResL, kResR}, Max2(peak[kResL], peak[kResR]));
            group({kResLs, kResRs}, Max2(peak[kResLs], peak[kResRs]));
            alone(kResC);
            alone(kResLfe);
            break;
        case 2:
            group({kResL, kResR, kResLs, kResRs},
                  Max4(peak[kResL], peak[kResR], peak[kResLs], peak[kResRs]));
            alone(kResC);
            alone(kResLfe);
            break;
        case 3:
            group({kResL, kResR, kResC, kResLs, kResRs},
                  Max5(peak[kResL], peak[kResR], peak[kResLs], peak[kResRs], peak[kResC]));
            alone(kResLfe);
            break;
    }
    unityGains = std::all_of(gain.begin(), gain.end(), [](float g) { return g == 1.0f; });
}

inline void ChannelProcessor::Detect(float& level, Release& release, float value) {
    const float a = std::fabs(value);
    if (a > level) {
        StartRelease(level, release, a);
        return;
    }
    if (level <= 0.0f) {
        level = 0.0f;
        return;
    }
    if (release.samples <= 0) {
        // No release time: the detector follows the signal at once.
        StartRelease(level, release, a);
        return;
    }
    // envelope = H - (counter x H) / N with the counter before this step; the quotient is
    // carried from step to step (whole part and remainder) instead of divided anew.
    level = static_cast<float>(release.held - release.fallWhole);
    if (level < 0.0f) level = 0.0f;
    release.fallWhole += release.stepWhole;
    release.fallRemainder += release.stepRemainder;
    if (release.fallRemainder >= release.samples) {
        release.fallRemainder -= release.samples;
        ++release.fallWhole;
    }
}

void ChannelProcessor::StartRelease(float& level, Release& release, float peakLevel) {
    level = peakLevel;
    release.held = static_cast<int32_t>(peakLevel);
    release.fallWhole = 0;
    release.fallRemainder = 0;
    if (release.samples > 0) {
        release.stepWhole = release.held / release.samples;
        release.stepRemainder = release.held % release.samples;
    }
}

void ChannelProcessor::LinkEnvelopes() {
    float& l = envelope[kColL];
    float& r = envelope[kColR];
    float& c = envelope[kColC];
    float& ls = envelope[kColLs];
    float& rs = envelope[kColRs];
    switch (controls.drpLinkMode) {
        case 1: {
            const float front = Max2(l, r);
            const float rear = Max2(ls, rs);
            l = r = front;
            ls = rs = rear;
            break;
        }
        case 2: {
            const float all = Max4(l, r, ls, rs);
            l = r = ls = rs = all;
            break;
        }
        case 3: {
            const float all = Max5(l, r, ls, rs, c);
            l = r = ls = rs = c = all;
            break;
        }
        default:
            break;
    }
}

inline int32_t ChannelProcessor::TargetOf(int channel, float level) {
    // The envelope holds whole 16-bit steps, so the target of each level is computed once.
    if (!(level >= 0.0f && level < static_cast<float>(kCachedLevels)))
        return ComputeTarget(channel, level);
    const auto index = static_cast<int32_t>(level);
    if (static_cast<float>(index) != level) return ComputeTarget(channel, level);
    int32_t& cached = targetCache[channel][index];
    if (cached == kNotComputed) cached = ComputeTarget(channel, level);
    return cached;
}

void ChannelProcessor::ApplyDynamics(std::array<float, kChannels>& v) {
    for (int i = 0; i < kChannels; ++i) DetectLevel(i, v[i]);
    LinkEnvelopes();
    for (int i = 0; i < kChannels; ++i) {
        if (envelope[i] == 0.0f) {
            v[i] = 0.0f;
            continue;
        }
        const int32_t target = TargetOf(i, envelope[i]);
        v[i] = (v[i] / envelope[i]) * static_cast<float>(target);
    }
}

void ChannelProcessor::ApplyDynamicsRun(ChunkColumns& v, std::size_t count) {
    // The groups whose envelopes LinkEnvelopes ties together; the others stand alone.
    switch (controls.drpLinkMode) {
        case 1:
            ApplyDynamicsGroup<2>({kColL, kColR}, v, count);
            ApplyDynamicsGroup<2>({kColLs, kColRs}, v, count);
            ApplyDynamicsGroup<1>({kColC}, v, count);
            break;
        case 2:
            ApplyDynamicsGroup<4>({kColL, kColR, kColLs, kColRs}, v, count);
            ApplyDynamicsGroup<1>({kColC}, v, count);
            break;
        case 3:
            ApplyDynamicsGroup<5>({kColL, kColR, kColLs, kColRs, kColC}, v, count);
            break;
        default:
            for (const int column : {kColL, kColR, kColC, kColLs, kColRs})
                ApplyDynamicsGroup<1>({column}, v, count);
            break;
    }
    ApplyDynamicsGroup<1>({kColLfe}, v, count);
}

template <std::size_t N>
void ChannelProcessor::ApplyDynamicsGroup(const std::array<int, N>& members, ChunkColumns& v,
                                          std::size_t count) {
    // First the envelope of every frame (linked members share one level; envelopes hold no
    // NaN, so it is the same in any order of comparison), with the detector state in locals;
    // then each member's values along it.
    std::array<float, kChunkFrames> levels;
    std::array<float, N> level;
    std::array<Release, N> release;
    for (std::size_t m = 0; m < N; ++m) {
        level[m] = envelope[members[m]];
        release[m] = releases[members[m]];
    }
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t m = 0; m < N; ++m) Detect(level[m], release[m], v[members[m]][i]);
        if constexpr (N > 1) {
            float shared = level[0];
            for (std::size_t m = 1; m < N; ++m) shared = Max2(shared, level[m]);
            level.fill(shared);
        }
        levels[i] = level[0];
    }
    for (std::size_t m = 0; m < N; ++m) {
        envelope[members[m]] = level[m];
        releases[members[m]] = release[m];
    }
    for (const int member : members) {
        float* values = v[member].data();
        for (std::size_t i = 0; i < count; ++i) {
            const float l = levels[i];
            values[i] =
                l == 0.0f ? 0.0f : (values[i] / l) * static_cast<float>(TargetOf(member, l));
        }
    }
}

int32_t ChannelProcessor::ComputeTarget(int channel, float level) const {
    const float levelIn = LevelDb(level);
    const float levelOut = InterpolateCurve(curveIn[channel].data(), curveOut[channel].data(),
                                            static_cast<int>(curveIn[channel].size()), levelIn);
    return RoundToInt32(std::pow(10.0, static_cast<double>(levelOut) * 0.05) * 32767.0);
}

float ChannelProcessor::InterpolateCurve(const float* xIn, const float* yOut, int n, float x) {
    if (n < 2) return x;
    for (int i = 1; i < n; ++i) {
        if (xIn[i - 1] <= x && x <= xIn[i]) {
            // Two points at the same input level: the first one's output level.
            if (xIn[i - 1] == xIn[i]) return yOut[i - 1];
            return yOut[i - 1] + (yOut[i - 1] - yOut[i]) * (x - xIn[i - 1]) / (xIn[i - 1] - xIn[i]);
        }
    }
    return x;
}

}  // namespace tavrisk
