// SPDX-License-Identifier: GPL-3.0-or-later
// The MP2 engine on 120 s of 48 kHz six-channel program material (tones plus noise) at
// 384 kbit/s, against `twolame -P 1 -b 384` encoding the stereo downmix of the same
// material, in the same run. Prints the time ratio and our real-time factor. The encoder
// is timed on its own, fed the blocks a source would hand it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "engines/EncoderOptions.h"
#include "engines/Mp2FileSink.h"
#include "mp2enc/Mp2Encoder.h"
#include "tests/support/TestSupport.h"

namespace {

using tavrisk::SampleBlock;
using tavrisk::test::PcmAudio;

constexpr int kRate = 48000;
constexpr int kSeconds = 120;
constexpr int kChannels = 6;  // file order L, R, C, LFE, LS, RS

PcmAudio MakeMaterial() {
    const double tones[kChannels] = {440.0, 554.37, 659.25, 55.0, 880.0, 1318.5};
    PcmAudio audio;
    audio.channels = kChannels;
    audio.rate = kRate;
    const std::size_t frames = static_cast<std::size_t>(kRate) * kSeconds;
    audio.samples.resize(frames * kChannels);
    std::mt19937 random(1234);
    std::normal_distribution<double> noise(0.0, 1500.0);
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < kChannels; ++c) {
            const double t = static_cast<double>(i) / kRate;
            // A slow tremolo keeps the allocation changing from frame to frame.
            const double level =
                6000.0 * (1.0 + 0.5 * std::sin(2 * std::numbers::pi * 0.3 * t + c));
            const double v = level * std::sin(2 * std::numbers::pi * tones[c] * t) + noise(random);
            audio.samples[i * kChannels + c] =
                static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        }
    }
    return audio;
}

PcmAudio StereoDownmix(const PcmAudio& in) {
    const double b = 1.0 / std::sqrt(2.0);
    const double n = 1.0 / (1.0 + std::sqrt(2.0));
    PcmAudio out;
    out.channels = 2;
    out.rate = in.rate;
    out.samples.resize(in.Frames() * 2);
    for (std::size_t i = 0; i < in.Frames(); ++i) {
        for (int ch = 0; ch < 2; ++ch) {
            const double v = n * (in.At(i, ch) + b * in.At(i, 2) + b * in.At(i, 4 + ch));
            out.samples[i * 2 + ch] = static_cast<int16_t>(std::lround(v));
        }
    }
    return out;
}

// The material as the blocks a source would hand the encoder.
std::vector<SampleBlock> MakeBlocks(const PcmAudio& audio) {
    std::vector<SampleBlock> blocks(audio.Frames() / SampleBlock::kFrames);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
            double* out = blocks[b].Row(row);
            for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
                out[i] = audio.At(b * SampleBlock::kFrames + i, static_cast<int>(row));
            }
        }
    }
    return blocks;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tavrisk::test::TempDir dir;
    const PcmAudio material = MakeMaterial();
    const std::string input = dir.File("material.wav");
    const std::string stereo = dir.File("downmix.wav");
    tavrisk::test::WritePlainWav(input, material);
    tavrisk::test::WritePlainWav(stereo, StereoDownmix(material));
    const std::string ours = dir.File("ours.mp2");
    const std::string peer = dir.File("peer.mp2");

    const std::vector<SampleBlock> blocks = MakeBlocks(material);
    double encodeSeconds = 0.0;
    int encodes = 0;
    auto encode = [&]() {
        const auto start = std::chrono::steady_clock::now();
        const char* args[] = {"tavrisk", "-r",  "48.000", "-b",          "384",
                              "-B",      "384", "-m",     "s",           "-n",
                              "d",       "-o",  "-L",     input.c_str(), ours.c_str()};
        tavrisk::mp2::EncoderOptions options;
        tavrisk::mp2::EncoderLog refusals;
        tavrisk::mp2::Mp2Encoder encoder;
        tavrisk::Mp2FileSink sink;
        bool ok = tavrisk::mp2::ParseOptions(15, args, options, refusals) &&
                  encoder.Configure(tavrisk::mp2::SettingsFromOptions(options), sink) &&
                  sink.Open(ours);
        for (std::size_t b = 0; ok && b < blocks.size(); ++b) ok = encoder.EncodeFrame(blocks[b]);
        ok = encoder.Finish() && sink.Close() && ok;
        encodeSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++encodes;
        return ok;
    };
    auto twolame = [&]() {
        return tavrisk::bench::RunQuiet("twolame --quiet -P 1 -b 384 " +
                                        tavrisk::test::Quote(stereo) + " " +
                                        tavrisk::test::Quote(peer));
    };
    const double ratio = tavrisk::bench::RunRatioBenchmark("Mp2Encode", encode, twolame, 3);
    if (ratio <= 0.0 || encodes == 0) return 1;
    std::printf("Mp2Encode real-time factor: %.1f (%d s of six-channel audio in %.3f s)\n",
                kSeconds / (encodeSeconds / encodes), kSeconds, encodeSeconds / encodes);
    return 0;
}
