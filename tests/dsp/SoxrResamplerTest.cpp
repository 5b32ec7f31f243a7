// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "dsp/SoxrResampler.h"
#include "tests/support/Fft.h"

namespace tavrisk {
namespace {

using Frame = Resampler::Frame;
using Frames = std::vector<Frame>;

constexpr double kOutputPerInput =
    static_cast<double>(Resampler::kOutputRate) / Resampler::kInputRate;

std::unique_ptr<SoxrResampler> MakeSoxr() {
    std::string error;
    auto resampler = SoxrResampler::Create(error);
    EXPECT_TRUE(resampler) << error;
    return resampler;
}

// Converts `input` in chunks of `chunkSize()` frames, then flushes.
template <typename ChunkSize>
Frames Convert(Resampler& resampler, const Frames& input, ChunkSize chunkSize) {
    Frames output;
    Frames out;
    for (std::size_t done = 0; done < input.size();) {
        const std::size_t count = std::min(chunkSize(), input.size() - done);
        out.resize(resampler.MaxOutput(count));
        out.resize(resampler.Push(input.data() + done, count, out.data()));
        output.insert(output.end(), out.begin(), out.end());
        done += count;
    }
    out.resize(resampler.MaxOutput(0));
    out.resize(resampler.Flush(out.data()));
    output.insert(output.end(), out.begin(), out.end());
    return output;
}

Frames Convert(Resampler& resampler, const Frames& input) {
    return Convert(resampler, input, [] { return std::size_t{4096}; });
}

Frames RandomFrames(std::size_t count, std::mt19937& random) {
    std::uniform_int_distribution<int32_t> sample(-32767, 32767);
    Frames frames(count);
    for (auto& frame : frames)
        for (auto& value : frame) value = sample(random);
    return frames;
}

std::vector<double> Channel(const Frames& frames, int channel) {
    std::vector<double> values(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) values[i] = frames[i][channel];
    return values;
}

TEST(SoxrResampler, ChunksOfAnySizeGiveWhatOneRunGives) {
    std::mt19937 random(11);
    const Frames input = RandomFrames(100019, random);
    auto whole = MakeSoxr();
    const Frames expected = Convert(*whole, input);

    // Single frames after an empty first push.
    auto chunked = MakeSoxr();
    std::size_t pushes = 0;
    EXPECT_EQ(Convert(*chunked, input, [&] { return std::size_t{pushes++ > 0}; }), expected);
    // Back to the start: the same run again, in random chunks.
    chunked->Reset();
    std::uniform_int_distribution<std::size_t> chunk(0, 5000);
    EXPECT_EQ(Convert(*chunked, input, [&] { return chunk(random); }), expected);
}

TEST(SoxrResampler, OutputLastsAsLongAsTheInputWithinOneFrame) {
    std::mt19937 random(5);
    for (const std::size_t frames : {0, 1, 2, 100, 1152, 48001, 50157}) {
        auto resampler = MakeSoxr();
        const Frames output = Convert(*resampler, RandomFrames(frames, random));
        EXPECT_NEAR(static_cast<double>(output.size()), frames * kOutputPerInput, 1.0) << frames;
    }
}

TEST(SoxrResampler, TonesUpTo20KHzLeaveNoComponentWithin90DbOfThem) {
    constexpr std::size_t kFrames = 96000;
    constexpr double kHalfScale = 16384.0;
    const double tones[] = {1000.0, 5000.0, 10000.0, 15000.0, 19000.0, 20000.0};
    for (int i = 0; i < 6; ++i) {
        // Each tone on another channel; the others stay silent.
        const int channel = i;
        Frames input(kFrames, Frame{});
        for (std::size_t n = 0; n < kFrames; ++n) {
            input[n][channel] = static_cast<int32_t>(std::lround(
                kHalfScale * std::sin(2.0 * M_PI * tones[i] * n / Resampler::kInputRate)));
        }
        auto resampler = MakeSoxr();
        const Frames output = Convert(*resampler, input);
        const double worst = test::WorstComponentDb(Channel(output, channel), 8192, 65536,
                                                    Resampler::kOutputRate, tones[i], 200.0);
        RecordProperty("worst_db_" + std::to_string(static_cast<int>(tones[i])),
                       std::to_string(worst));
        EXPECT_LE(worst, -90.0) << tones[i] << " Hz";
        for (int other = 0; other < Resampler::kChannels; ++other) {
            if (other == channel) continue;
            const auto values = Channel(output, other);
            EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](double v) { return v == 0; }))
                << "channel " << other;
        }
    }
}

}  // namespace
}  // namespace tavrisk
