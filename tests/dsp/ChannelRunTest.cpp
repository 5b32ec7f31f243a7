// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dsp/ChannelProcessor.h"

namespace tavrisk {
namespace {

constexpr int kChannels = ChannelProcessor::kChannels;
using Layout = ChannelProcessor::FrameLayout;
using ColumnFrame = ChannelProcessor::ColumnFrame;

// A shuffled layout: where each column's sample sits in an input frame.
Layout RandomLayout(std::mt19937& random) {
    Layout layout = {0, 1, 2, 3, 4, 5};
    std::shuffle(layout.begin(), layout.end(), random);
    return layout;
}

ChannelControls RandomControls(std::mt19937& random) {
    ChannelControls controls;
    // Mostly real columns, sometimes none (-1) or one out of range.
    std::uniform_int_distribution<int> from(-1, kChannels);
    std::uniform_int_distribution<int> slider(0, 100);
    std::uniform_int_distribution<int> link(-1, 4);
    for (int f = 0; f < kChannels; ++f) {
        controls.routing[f] = random() % 4 == 0 ? from(random) : f;
        controls.sliderPositions[f] = random() % 2 == 0 ? 100 : slider(random);
    }
    controls.normalizeLinkMode = link(random);
    controls.drpLinkMode = link(random);
    return controls;
}

CurveCopy RandomCurve(std::mt19937& random) {
    std::uniform_real_distribution<float> db(-100.0f, 0.0f);
    std::uniform_int_distribution<int> points(0, 6);
    std::uniform_int_distribution<int> release(0, 1200);
    CurveCopy curve;
    const int count = points(random);
    for (int k = 0; k < count; ++k) curve.inputDb.push_back(db(random));
    std::sort(curve.inputDb.begin(), curve.inputDb.end());
    // Now and then two points at one input level.
    if (count > 2 && random() % 3 == 0) curve.inputDb[1] = curve.inputDb[0];
    for (int k = 0; k < count; ++k) curve.outputDb.push_back(db(random));
    curve.releaseMs = random() % 5 == 0 ? 0 : release(random);
    return curve;
}

ChannelJobSettings RandomSettings(std::mt19937& random) {
    ChannelJobSettings settings;
    settings.normalize = random() % 2 == 0;
    settings.drp = random() % 4 != 0;
    settings.outputRate = random() % 2 == 0 ? 48000 : 44100;
    for (CurveCopy& curve : settings.curves) curve = RandomCurve(random);
    settings.controls = RandomControls(random);
    return settings;
}

// Samples at full scale +-1.0 with quiet passages, silence, overloads and odd values.
std::vector<float> RandomFrames(std::mt19937& random, std::size_t count) {
    std::uniform_real_distribution<float> loud(-1.0f, 1.0f);
    std::uniform_real_distribution<float> quiet(-0.001f, 0.001f);
    std::uniform_real_distribution<float> over(-3.0f, 3.0f);
    std::vector<float> frames(count * kChannels);
    for (float& sample : frames) {
        switch (random() % 16) {
            case 0:
                sample = 0.0f;
                break;
            case 1:
                sample = over(random);
                break;
            case 2:
                sample = quiet(random);
                break;
            case 3:
                sample = static_cast<float>(static_cast<int>(random() % 65535) - 32767) / 32767.0f;
                break;
            default:
                sample = loud(random);
        }
    }
    if (count > 0 && random() % 4 == 0) {
        const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             1e30f,
                             -1e30f,
                             -0.0f};
        frames[random() % frames.size()] = odd[random() % std::size(odd)];
    }
    return frames;
}

// The reference: the frame-by-frame calls, results brought into column order.
std::vector<ColumnFrame> ProcessFrameByFrame(ChannelProcessor& processor,
                                             const std::vector<float>& frames,
                                             const Layout& layout) {
    std::vector<ColumnFrame> out(frames.size() / kChannels);
    for (std::size_t i = 0; i < out.size(); ++i) {
        float columns[kChannels];
        for (int c = 0; c < kChannels; ++c) columns[c] = frames[i * kChannels + layout[c]];
        std::array<int32_t, kChannels> results{};
        processor.Process(columns, results, false);
        for (int f = 0; f < kChannels; ++f)
            out[i][f] = results[ChannelProcessor::kResultOfColumn[f]];
    }
    return out;
}

bool AnalyzeFrameByFrame(ChannelProcessor& processor, const std::vector<float>& frames,
                         const Layout& layout) {
    bool rose = false;
    for (std::size_t i = 0; i < frames.size() / kChannels; ++i) {
        float columns[kChannels];
        for (int c = 0; c < kChannels; ++c) columns[c] = frames[i * kChannels + layout[c]];
        rose = processor.Analyze(columns) || rose;
    }
    return rose;
}

std::size_t RandomRunLength(std::mt19937& random) {
    const std::size_t lengths[] = {0, 1, 7, 255, 256, 257, 1000, 4096};
    return lengths[random() % std::size(lengths)];
}

// Both passes of a job with random settings and inputs, in runs of random lengths with the
// controls changing between runs: the bulk calls give what the frame-by-frame calls give.
TEST(ChannelRun, BulkEqualsFrameByFrameOnRandomJobs) {
    std::mt19937 random(20261207);
    for (int job = 0; job < 60; ++job) {
        SCOPED_TRACE("job " + std::to_string(job));
        const ChannelJobSettings settings = RandomSettings(random);
        ChannelProcessor bulk(settings);
        ChannelProcessor single(settings);
        const Layout layout = RandomLayout(random);

        if (settings.normalize) {
            for (int run = 0; run < 4; ++run) {
                const ChannelControls controls = RandomControls(random);
                bulk.SetControls(controls);
                single.SetControls(controls);
                const std::vector<float> frames = RandomFrames(random, RandomRunLength(random));
                const std::size_t count = frames.size() / kChannels;
                const bool rose = AnalyzeFrameByFrame(single, frames, layout);
                EXPECT_EQ(bulk.AnalyzeRun(frames.data(), count, layout), rose);
                EXPECT_EQ(bulk.Peaks(), single.Peaks());
            }
            bulk.ComputeNormalizeGains();
            single.ComputeNormalizeGains();
            ASSERT_EQ(bulk.Gains(), single.Gains());
        }
        for (int run = 0; run < 6; ++run) {
            if (run % 2 == 1) {
                const ChannelControls controls = RandomControls(random);
                bulk.SetControls(controls);
                single.SetControls(controls);
            }
            const std::vector<float> frames = RandomFrames(random, RandomRunLength(random));
            const std::size_t count = frames.size() / kChannels;
            std::vector<ColumnFrame> out(count);
            bulk.ProcessRun(frames.data(), count, layout, out.data());
            const std::vector<ColumnFrame> expected = ProcessFrameByFrame(single, frames, layout);
            for (std::size_t i = 0; i < count; ++i) {
                ASSERT_EQ(out[i], expected[i]) << "run " << run << " frame " << i;
            }
            ASSERT_EQ(bulk.Envelopes(), single.Envelopes());
        }
    }
}

// The unity path's short form against the chain's own scaling, over special and boundary
// values, a sweep around full scale and values around halves.
TEST(ChannelRun, UnityPathMatchesScalingAndClamp) {
    std::vector<float> samples = {0.0f,
                                  -0.0f,
                                  1.0f,
                                  -1.0f,
                                  1.0f / 32767.0f,
                                  -1.0f / 32767.0f,
                                  std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::max(),
                                  std::numeric_limits<float>::lowest(),
                                  std::numeric_limits<float>::denorm_min()};
    for (float x = 0.999f; x < 1.001f; x = std::nextafter(x, 2.0f)) {
        samples.push_back(x);
        samples.push_back(-x);
    }
    // A step either side of a half once scaled.
    for (int whole = -32768; whole < 32767; whole += 97) {
        const float half = (static_cast<float>(whole) + 0.5f) / ChannelProcessor::kFullScale;
        samples.insert(samples.end(),
                       {std::nextafter(half, -2.0f), half, std::nextafter(half, 2.0f)});
    }
    // Each value alone in a frame, and all of them in one run.
    ChannelProcessor processor(ChannelJobSettings{});
    const Layout layout = {0, 1, 2, 3, 4, 5};
    std::vector<float> frames;
    for (const float sample : samples) frames.insert(frames.end(), kChannels, sample);
    std::vector<ColumnFrame> out(samples.size());
    processor.ProcessRun(frames.data(), samples.size(), layout, out.data());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::vector<float> frame(kChannels, samples[i]);
        ColumnFrame alone{};
        processor.ProcessRun(frame.data(), 1, layout, &alone);
        const int32_t expected =
            std::clamp(ChannelProcessor::ScaleAtUnity(samples[i]), ChannelProcessor::kMinSample,
                       ChannelProcessor::kMaxSample);
        for (int f = 0; f < kChannels; ++f) {
            ASSERT_EQ(alone[f], expected) << samples[i];
            ASSERT_EQ(out[i][f], expected) << samples[i];
        }
    }
}

// A frame of values inside full scale with one value beyond it (or NaN) at each position, in
// a run long enough for the vector path, the frames reordered or already in column order:
// every column still gets the chain's own scaling and clamp, whatever frame it sits in.
TEST(ChannelRun, UnityPathOnFramesWithOneValueOutside) {
    const float outside[] = {1.0f,
                             -1.0f,
                             1.5f,
                             -7.0f,
                             std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity()};
    constexpr std::size_t kRun = 5;
    ChannelProcessor processor(ChannelJobSettings{});
    for (const Layout& layout : {Layout{3, 0, 5, 1, 4, 2}, Layout{0, 1, 2, 3, 4, 5}}) {
        for (int at = 0; at < kChannels; ++at) {
            for (const float odd : outside) {
                std::vector<float> frame = {0.5f, -0.25f, 0.999f, -0.999f, 0.0f, 0.75f};
                frame[at] = odd;
                std::vector<float> frames;
                for (std::size_t i = 0; i < kRun; ++i)
                    frames.insert(frames.end(), frame.begin(), frame.end());
                std::vector<ColumnFrame> out(kRun);
                processor.ProcessRun(frames.data(), kRun, layout, out.data());
                for (int f = 0; f < kChannels; ++f) {
                    const int32_t expected =
                        std::clamp(ChannelProcessor::ScaleAtUnity(frame[layout[f]]),
                                   ChannelProcessor::kMinSample, ChannelProcessor::kMaxSample);
                    for (std::size_t i = 0; i < kRun; ++i)
                        ASSERT_EQ(out[i][f], expected)
                            << "at " << at << " value " << odd << " column " << f;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tavrisk
