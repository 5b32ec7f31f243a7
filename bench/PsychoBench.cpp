// SPDX-License-Identifier: GPL-3.0-or-later
// The psychoacoustic model on seven slots of program material (tones plus noise, 48 kHz):
// calls per second, and the time of 120 s of material against `twolame -P 1 -b 384` encoding
// the stereo downmix of the same material.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

#include "bench/BenchSupport.h"
#include "mp2enc/PsychoacousticModel.h"
#include "tests/support/TestSupport.h"

namespace {

using tavrisk::mp2::kPsySlots;
using tavrisk::mp2::PsychoacousticModel;
using tavrisk::mp2::PsyFrameInfo;

constexpr int kFrame = 1152;
constexpr int kRate = 48000;
constexpr int kSlots = 7;
constexpr int kPoolFrames = 250;  // 6 s of material, cycled
constexpr int kRunFrames = 5000;  // 120 s
constexpr int kChannels = 5;      // L, R, C, LS, RS

// Five channels of tones plus noise, 16-bit scale, channel-major per frame.
std::vector<double> MakeMaterial() {
    std::vector<double> channels(static_cast<std::size_t>(kPoolFrames) * kFrame * kChannels);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double tones[kChannels][3] = {{220, 1250, 5100},
                                        {330, 1870, 7300},
                                        {440, 2500, 9100},
                                        {150, 3100, 11000},
                                        {180, 3700, 13000}};
    double smooth[kChannels] = {};
    for (std::size_t n = 0; n < static_cast<std::size_t>(kPoolFrames) * kFrame; ++n) {
        for (int c = 0; c < kChannels; ++c) {
            double v = 0.0;
            for (double f : tones[c])
                v += 2500.0 * std::sin(2.0 * std::numbers::pi * f * n / kRate);
            smooth[c] = 0.9 * smooth[c] + 0.1 * noise(random);  // darker noise
            v += 1500.0 * smooth[c] + 150.0 * noise(random);
            channels[n * kChannels + c] = v;
        }
    }
    return channels;
}

// The seven slots of each pool frame: Lo, Ro, C, LS, RS, L, R.
std::vector<double> MakeSlots(const std::vector<double>& material) {
    std::vector<double> slots(static_cast<std::size_t>(kPoolFrames) * kPsySlots * kFrame, 0.0);
    for (int f = 0; f < kPoolFrames; ++f) {
        double* frame = &slots[static_cast<std::size_t>(f) * kPsySlots * kFrame];
        for (int n = 0; n < kFrame; ++n) {
            const double* s = &material[(static_cast<std::size_t>(f) * kFrame + n) * kChannels];
            const double l = s[0], r = s[1], c = s[2], ls = s[3], rs = s[4];
            const double slot[kSlots] = {0.41 * (l + 0.71 * c + 0.71 * ls),
                                         0.41 * (r + 0.71 * c + 0.71 * rs),
                                         c,
                                         ls,
                                         rs,
                                         l,
                                         r};
            for (int k = 0; k < kSlots; ++k) frame[k * kFrame + n] = slot[k];
        }
    }
    return slots;
}

struct Outputs {
    double maxScale[kPsySlots][32];
    double minMask[kPsySlots][32] = {};
    double smr[kPsySlots][32] = {};
    double spike[kPsySlots][32] = {};
    Outputs() {
        for (auto& row : maxScale) {
            for (int sb = 0; sb < 32; ++sb) row[sb] = sb < 27 ? 0.05 : 1e-20;
        }
    }
};

PsyFrameInfo Info() {
    PsyFrameInfo info;
    info.sblimit = 27;
    return info;
}

void RunFrames(PsychoacousticModel& model, const std::vector<double>& slots, Outputs& out,
               int frames, int first) {
    const PsyFrameInfo info = Info();
    for (int f = 0; f < frames; ++f) {
        const double* frame =
            &slots[static_cast<std::size_t>((first + f) % kPoolFrames) * kPsySlots * kFrame];
        model.ComputeMasking(reinterpret_cast<const double(*)[kFrame]>(frame), out.maxScale, info,
                             out.minMask, out.smr, out.spike);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto material = MakeMaterial();
    const auto slots = MakeSlots(material);

    // Calls per second (one call analyses seven slots).
    PsychoacousticModel model;
    Outputs out;
    int next = 0;
    benchmark::RegisterBenchmark("computeMasking/7 slots", [&](benchmark::State& state) {
        for (auto _ : state) {
            RunFrames(model, slots, out, 1, next++);
            benchmark::DoNotOptimize(out.smr[0][0]);
        }
        state.SetItemsProcessed(state.iterations());
        state.counters["x realtime"] = benchmark::Counter(
            state.iterations() * static_cast<double>(kFrame) / kRate, benchmark::Counter::kIsRate);
    })->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::ClearRegisteredBenchmarks();

    // 120 s against the peer encoding the stereo downmix of the same material.
    tavrisk::test::TempDir dir;
    tavrisk::test::PcmAudio stereo;
    stereo.channels = 2;
    stereo.rate = kRate;
    for (int repeat = 0; repeat < kRunFrames / kPoolFrames; ++repeat) {
        for (int f = 0; f < kPoolFrames; ++f) {
            const double* frame = &slots[static_cast<std::size_t>(f) * kPsySlots * kFrame];
            for (int n = 0; n < kFrame; ++n) {
                for (int c = 0; c < 2; ++c) {
                    stereo.samples.push_back(
                        static_cast<int16_t>(std::lround(frame[c * kFrame + n])));
                }
            }
        }
    }
    const auto input = dir.File("downmix.wav");
    const auto output = dir.File("downmix.mp2");
    tavrisk::test::WritePlainWav(input, stereo);
    tavrisk::bench::RunRatioBenchmark(
        "psychoacoustic model (7 slots, 120 s) vs twolame -P 1 -b 384 (stereo, 120 s)",
        [&] {
            PsychoacousticModel fresh;
            RunFrames(fresh, slots, out, kRunFrames, 0);
            return true;
        },
        [&] {
            return tavrisk::bench::RunQuiet("twolame -P 1 -b 384 " + tavrisk::test::Quote(input) +
                                            " " + tavrisk::test::Quote(output));
        });
    return 0;
}
