// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/GatedLoudness.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tavrisk {

namespace {

// Loudness of a mean square: -0.691 + 10 log10(z), by BS.1770.
constexpr double kLoudnessOffset = -0.691;
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kIntegratedRelativeGateLu = -10.0;
constexpr double kRangeRelativeGateLu = -20.0;
// Blocks of 100 ms in a gating block (400 ms) and in a short-term block (3 s).
constexpr std::size_t kGatingSpan = 4;
constexpr std::size_t kShortTermSpan = 30;
constexpr double kLowPercentile = 0.10;
constexpr double kHighPercentile = 0.95;

// The analogue prototypes of BS.1770's K-weighting, from which the sections are derived for
// any rate (at 48 kHz they give the standard's tabled coefficients).
constexpr double kShelfHz = 1681.974450955533;
constexpr double kShelfGainDb = 3.999843853973347;
constexpr double kShelfQ = 0.7071752369554196;
constexpr double kShelfBandGainExponent = 0.4996667741545416;
constexpr double kHighPassHz = 38.13547087602444;
constexpr double kHighPassQ = 0.5003270373238773;

double LoudnessOf(double meanSquare) {
    return meanSquare > 0.0 ? kLoudnessOffset + 10.0 * std::log10(meanSquare)
                            : -std::numeric_limits<double>::infinity();
}

double MeanSquareOf(double lufs) {
    return std::pow(10.0, (lufs - kLoudnessOffset) / 10.0);
}

// Four doubles side by side: without 512-bit vectors the lanes are filtered in two groups of
// four (vectors of eight would not stay in registers).
typedef double Doubles __attribute__((vector_size(32), aligned(8), may_alias));
typedef float Floats8 __attribute__((vector_size(32)));
// All eight lanes side by side, where the processor has vectors of eight doubles.
typedef double Doubles8 __attribute__((vector_size(64), aligned(8), may_alias));
static_assert(GatedLoudness::kLanes == 8, "the lanes are filtered as two groups of four");

// A group of `kWidth` lanes (the attributes would not pass through a template argument).
template <int kWidth>
struct GroupOf;
template <>
struct GroupOf<4> {
    using Type = Doubles;
};
template <>
struct GroupOf<8> {
    using Type = Doubles8;
};

template <int kWidth>
typename GroupOf<kWidth>::Type* AsGroups(std::array<double, GatedLoudness::kLanes>& values) {
    return reinterpret_cast<typename GroupOf<kWidth>::Type*>(values.data());
}

// One group's K-weighting filters and energy, a group being four lanes or all eight.
template <int kWidth>
struct GroupMemory {
    using Group = typename GroupOf<kWidth>::Type;
    Group in1, in2, shelved1, shelved2, out1, out2, energy;

    [[gnu::always_inline]] void Load(GatedLoudness::Lanes& lanes, int g) {
        in1 = AsGroups<kWidth>(lanes.in1)[g];
        in2 = AsGroups<kWidth>(lanes.in2)[g];
        shelved1 = AsGroups<kWidth>(lanes.shelved1)[g];
        shelved2 = AsGroups<kWidth>(lanes.shelved2)[g];
        out1 = AsGroups<kWidth>(lanes.out1)[g];
        out2 = AsGroups<kWidth>(lanes.out2)[g];
        energy = AsGroups<kWidth>(lanes.energy)[g];
    }
    [[gnu::always_inline]] void Store(GatedLoudness::Lanes& lanes, int g) const {
        AsGroups<kWidth>(lanes.in1)[g] = in1;
        AsGroups<kWidth>(lanes.in2)[g] = in2;
        AsGroups<kWidth>(lanes.shelved1)[g] = shelved1;
        AsGroups<kWidth>(lanes.shelved2)[g] = shelved2;
        AsGroups<kWidth>(lanes.out1)[g] = out1;
        AsGroups<kWidth>(lanes.out2)[g] = out2;
        AsGroups<kWidth>(lanes.energy)[g] = energy;
    }
    // Direct form I, each output's sum ordered so that the previous output enters last: the
    // loop carries one multiply and one subtraction per section.
    [[gnu::always_inline]] void Step(const Group& wide, const GatedLoudness::Section& shelf,
                                     const GatedLoudness::Section& pass) {
        const Group shelved =
            (shelf.b0 * wide + shelf.b1 * in1 + shelf.b2 * in2 - shelf.a2 * shelved2) -
            shelf.a1 * shelved1;
        // The high-pass's numerator is 1, -2, 1 at every rate: its products are exact.
        const Group out = (shelved - 2.0 * shelved1 + shelved2 - pass.a2 * out2) - pass.a1 * out1;
        in2 = in1;
        in1 = wide;
        shelved2 = shelved1;
        shelved1 = shelved;
        out2 = out1;
        out1 = out;
        energy += out * out;
    }
};

// Frames whose second group's samples are held between the groups' passes.
constexpr std::size_t kChunkFrames = 256;

// K-weights `count` frames from `from` on, all channels, and sums their squares: a chunk's
// frames are gathered and widened at once, the first group filtered on the way and the
// second group's samples kept for a pass of their own, so that each group's memory stays in
// registers.
[[gnu::always_inline]] inline void Weigh(const std::array<const float*, 6>& x, std::size_t from,
                                         std::size_t count,
                                         const std::array<GatedLoudness::Section, 2>& sections,
                                         GatedLoudness::Lanes& lanes) {
    const GatedLoudness::Section shelf = sections[0], pass = sections[1];
    Doubles second[kChunkFrames];
    for (std::size_t done = 0; done < count; done += kChunkFrames) {
        const std::size_t n = std::min(count - done, kChunkFrames);
        GroupMemory<4> memory;
        memory.Load(lanes, 0);
        for (std::size_t k = 0, i = from + done; k < n; ++k, ++i) {
            // Gathered as floats and widened at once, all eight lanes (built as doubles, the
            // vectors would pass through memory; widened four at a time, in two halves each).
            const Floats8 in = {x[0][i], x[1][i], x[2][i], x[3][i], x[4][i], x[5][i], 0.0f, 0.0f};
            const Doubles8 wide8 = __builtin_convertvector(in, Doubles8);
            second[k] = __builtin_shufflevector(wide8, wide8, 4, 5, 6, 7);
            memory.Step(__builtin_shufflevector(wide8, wide8, 0, 1, 2, 3), shelf, pass);
        }
        memory.Store(lanes, 0);
        memory.Load(lanes, 1);
        for (std::size_t k = 0; k < n; ++k) memory.Step(second[k], shelf, pass);
        memory.Store(lanes, 1);
    }
}

// The same over all eight lanes at once, a vector of eight staying in a register.
[[gnu::always_inline]] inline void WeighAllLanes(
    const std::array<const float*, 6>& x, std::size_t from, std::size_t count,
    const std::array<GatedLoudness::Section, 2>& sections, GatedLoudness::Lanes& lanes) {
    const GatedLoudness::Section shelf = sections[0], pass = sections[1];
    GroupMemory<8> memory;
    memory.Load(lanes, 0);
    for (std::size_t i = from; i < from + count; ++i) {
        const Floats8 in = {x[0][i], x[1][i], x[2][i], x[3][i], x[4][i], x[5][i], 0.0f, 0.0f};
        memory.Step(__builtin_convertvector(in, Doubles8), shelf, pass);
    }
    memory.Store(lanes, 0);
}

using WeighFunction = void (*)(const std::array<const float*, 6>&, std::size_t, std::size_t,
                               const std::array<GatedLoudness::Section, 2>&, GatedLoudness::Lanes&);

void WeighPlain(const std::array<const float*, 6>& x, std::size_t from, std::size_t count,
                const std::array<GatedLoudness::Section, 2>& sections,
                GatedLoudness::Lanes& lanes) {
    Weigh(x, from, count, sections, lanes);
}

// The same with AVX2 and fused multiply-adds, chosen by a
// plain test rather than an ifunc, whose resolver runs before the thread sanitizer is set up.
[[gnu::target("avx2,fma")]] void WeighAvx2(const std::array<const float*, 6>& x, std::size_t from,
                                           std::size_t count,
                                           const std::array<GatedLoudness::Section, 2>& sections,
                                           GatedLoudness::Lanes& lanes) {
    Weigh(x, from, count, sections, lanes);
}

// The same again with 512-bit vectors: the same operations lane by lane, half the
// instructions.
[[gnu::target("avx512f,fma")]] void WeighAvx512(
    const std::array<const float*, 6>& x, std::size_t from, std::size_t count,
    const std::array<GatedLoudness::Section, 2>& sections, GatedLoudness::Lanes& lanes) {
    WeighAllLanes(x, from, count, sections, lanes);
}

WeighFunction PickWeighFunction() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("fma")) return WeighPlain;
    if (__builtin_cpu_supports("avx512f")) return WeighAvx512;
    return __builtin_cpu_supports("avx2") ? WeighAvx2 : WeighPlain;
}

const WeighFunction kWeigh = PickWeighFunction();

// The mean square of each run of `span` blocks of `blockFrames` frames, a block apart.
std::vector<double> MeanSquares(const std::vector<double>& blocks, std::size_t span,
                                std::size_t blockFrames) {
    std::vector<double> means;
    if (blocks.size() < span) return means;
    means.reserve(blocks.size() - span + 1);
    const double frames = static_cast<double>(span * blockFrames);
    for (std::size_t j = 0; j + span <= blocks.size(); ++j) {
        double sum = 0.0;
        for (std::size_t k = j; k < j + span; ++k) sum += blocks[k];
        means.push_back(sum / frames);
    }
    return means;
}

// The mean of the values above `gate`, and how many there are.
std::pair<double, std::size_t> GatedMean(const std::vector<double>& values, double gate) {
    double sum = 0.0;
    std::size_t count = 0;
    for (double value : values) {
        if (value <= gate) continue;
        sum += value;
        ++count;
    }
    return {count > 0 ? sum / static_cast<double>(count) : 0.0, count};
}

}  // namespace

std::array<GatedLoudness::Section, 2> GatedLoudness::KWeighting(int sampleRate) {
    const double rate = static_cast<double>(sampleRate);
    double k = std::tan(std::numbers::pi * kShelfHz / rate);
    const double vh = std::pow(10.0, kShelfGainDb / 20.0);
    const double vb = std::pow(vh, kShelfBandGainExponent);
    double a0 = 1.0 + k / kShelfQ + k * k;
    const Section shelf{(vh + vb * k / kShelfQ + k * k) / a0, 2.0 * (k * k - vh) / a0,
                        (vh - vb * k / kShelfQ + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
                        (1.0 - k / kShelfQ + k * k) / a0};
    k = std::tan(std::numbers::pi * kHighPassHz / rate);
    a0 = 1.0 + k / kHighPassQ + k * k;
    const Section pass{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0,
                       (1.0 - k / kHighPassQ + k * k) / a0};
    return {shelf, pass};
}

void GatedLoudness::Start(int sampleRate, const std::array<double, kChannels>& channelWeights) {
    sections = KWeighting(sampleRate);
    weights = channelWeights;
    lanes = Lanes{};
    blockFrames = static_cast<std::size_t>((sampleRate + 5) / 10);
    framesInBlock = 0;
    blocks.clear();
}

void GatedLoudness::Add(const std::array<const float*, kChannels>& channels, std::size_t count) {
    if (blockFrames == 0) return;  // not started
    for (std::size_t done = 0; done < count;) {
        const std::size_t run = std::min(count - done, blockFrames - framesInBlock);
        kWeigh(channels, done, run, sections, lanes);
        done += run;
        framesInBlock += run;
        if (framesInBlock < blockFrames) continue;
        double energy = 0.0;
        for (int c = 0; c < kChannels; ++c) energy += weights[c] * lanes.energy[c];
        blocks.push_back(energy);
        lanes.energy.fill(0.0);
        framesInBlock = 0;
    }
}

double GatedLoudness::IntegratedLufs() const {
    const std::vector<double> gating = MeanSquares(blocks, kGatingSpan, blockFrames);
    const double absoluteGate = MeanSquareOf(kAbsoluteGateLufs);
    const auto [mean, count] = GatedMean(gating, absoluteGate);
    if (count == 0) return LoudnessOf(0.0);
    const double relativeGate = mean * std::pow(10.0, kIntegratedRelativeGateLu / 10.0);
    return LoudnessOf(GatedMean(gating, std::max(absoluteGate, relativeGate)).first);
}

double GatedLoudness::RangeLu() const {
    const std::vector<double> shortTerm = MeanSquares(blocks, kShortTermSpan, blockFrames);
    const double absoluteGate = MeanSquareOf(kAbsoluteGateLufs);
    const auto [mean, count] = GatedMean(shortTerm, absoluteGate);
    if (count == 0) return 0.0;
    const double gate = std::max(absoluteGate, mean * std::pow(10.0, kRangeRelativeGateLu / 10.0));
    std::vector<double> loudness;
    for (double value : shortTerm) {
        if (value > gate) loudness.push_back(LoudnessOf(value));
    }
    if (loudness.size() < 2) return 0.0;
    std::sort(loudness.begin(), loudness.end());
    const auto at = [&](double percentile) {
        return loudness[static_cast<std::size_t>(
            std::lround(percentile * static_cast<double>(loudness.size() - 1)))];
    };
    return at(kHighPercentile) - at(kLowPercentile);
}

}  // namespace tavrisk
