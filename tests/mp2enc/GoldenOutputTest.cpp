// SPDX-License-Identifier: GPL-3.0-or-later
// Byte-exact output of the encoder on fixed inputs generated here. The hashes were recorded
// from the straightforward encoder and re-recorded when the LFE was read ahead by its
// low-pass's delay; any change of arithmetic, order or threading that moves
// a single output byte fails this test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "engines/Mp2FileSink.h"
#include "mp2enc/Mp2Encoder.h"
#include "mp2enc/ParallelMp2Encoder.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::mp2 {
namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;
constexpr double kFullScale = 32767.0;

std::uint64_t Fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = kFnvOffset;
    for (std::uint8_t b : bytes) {
        hash ^= b;
        hash *= kFnvPrime;
    }
    return hash;
}

// A fixed-seed generator of our own, so the input never depends on the library's
// distributions.
class NoiseGenerator {
  public:
    explicit NoiseGenerator(std::uint64_t seed) : state(seed) {}
    // Uniform in [-1, 1).
    double next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

  private:
    std::uint64_t state;
};

struct GoldenCase {
    const char* name;
    int rate;
    int bitrate;
    int blocks;
    double toneLevel;   // peak of each channel's tone, 16-bit units
    double noiseLevel;  // peak of the uniform noise
    int dematrix = 0;
    std::uint64_t hash;
    int tcAlloc = -2;  // adaptive
};

// One tone per channel, slowly varying in level, plus noise; clipped to 16-bit range.
void FillBlock(const GoldenCase& c, long firstSample, NoiseGenerator& noise, SampleBlock& block) {
    static const double kTones[SampleBlock::kChannels] = {440.0, 554.37, 659.25,
                                                          55.0,  880.0,  1318.5};
    for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
        const double t = static_cast<double>(firstSample + static_cast<long>(i)) / c.rate;
        for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
            const double tremolo = 0.75 + 0.25 * std::sin(2 * std::numbers::pi * 0.5 * t + row);
            double v = c.toneLevel * tremolo * std::sin(2 * std::numbers::pi * kTones[row] * t) +
                       c.noiseLevel * noise.next();
            v = std::round(v);
            if (v > kFullScale) v = kFullScale;
            if (v < -kFullScale - 1) v = -kFullScale - 1;
            block.Row(row)[i] = v;
        }
    }
}

// Through the plain encoder or the one on several threads.
template <typename Encoder>
std::uint64_t EncodeCase(const GoldenCase& c, Encoder& encoder, const std::string& path) {
    EncoderSettings o;
    o.sampleRate = c.rate;
    o.totalBitrateKbps = o.bitrateKbps = c.bitrate;
    o.ancillaryBytes = 0;
    o.verbosity = 0;
    o.dematrixChoice = c.dematrix;
    o.tcAllocChoice = c.tcAlloc;
    Mp2FileSink sink;
    EXPECT_TRUE(encoder.Configure(o, sink));
    EXPECT_TRUE(sink.Open(path));
    NoiseGenerator noise(0x5eed + static_cast<std::uint64_t>(c.bitrate));
    SampleBlock block;
    for (int b = 0; b < c.blocks; ++b) {
        FillBlock(c, static_cast<long>(b) * SampleBlock::kFrames, noise, block);
        EXPECT_TRUE(encoder.EncodeFrame(block));
    }
    EXPECT_TRUE(encoder.Finish());
    EXPECT_TRUE(sink.Close());
    EXPECT_EQ(encoder.FrameCount(), c.blocks);
    return Fnv1a64(tavrisk::test::ReadBytes(path));
}

const GoldenCase kCases[] = {
    {"tones and noise, 48 kHz, 384 kbit/s", 48000, 384, 125, 8000.0, 1500.0, 0,
     0x047737056bf0b8c5ULL},
    {"tones and noise, 48 kHz, 192 kbit/s", 48000, 192, 125, 8000.0, 1500.0, 0,
     0x9d559ce72d0bc4edULL},
    {"tones and noise, 44.1 kHz, 256 kbit/s", 44100, 256, 115, 8000.0, 1500.0, 0,
     0x9801d8c176e1032dULL},
    {"tones and noise, 44.1 kHz, 128 kbit/s, procedure 2", 44100, 128, 60, 8000.0, 1500.0, 2,
     0x8ffb539fd75e9d3aULL},
    {"near silence, 48 kHz, 384 kbit/s", 48000, 384, 60, 1.0, 1.0, 0, 0xfde6e0ba397924deULL},
    {"full scale, 48 kHz, 384 kbit/s", 48000, 384, 60, 40000.0, 2000.0, 0, 0xb9cfb97d8ebe90dcULL},
    {"random procedures and allocations, 48 kHz, 256 kbit/s", 48000, 256, 60, 8000.0, 1500.0, -1,
     0xe652193af9ed082cULL, -1},
};

TEST(GoldenOutput, EveryCaseKeepsItsBytes) {
    tavrisk::test::TempDir dir;
    for (const GoldenCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Mp2Encoder encoder;
        const std::uint64_t hash = EncodeCase(c, encoder, dir.File("golden.mp2"));
        EXPECT_EQ(hash, c.hash) << std::hex << "0x" << hash << "ULL";
    }
}

TEST(GoldenOutput, EveryCaseKeepsItsBytesOnSeveralThreads) {
    // Each case with another number of threads and segment length, down to single frames.
    constexpr int kThreads[] = {2, 3, 8};
    constexpr int kSegmentFrames[] = {1, 5, 16};
    tavrisk::test::TempDir dir;
    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        const int threads = kThreads[i % 3];
        const int segmentFrames = kSegmentFrames[(i + i / 3) % 3];
        SCOPED_TRACE(std::string(kCases[i].name) + ", threads " + std::to_string(threads) +
                     ", segments of " + std::to_string(segmentFrames));
        ParallelMp2Encoder encoder(threads, segmentFrames);
        const std::uint64_t hash = EncodeCase(kCases[i], encoder, dir.File("parallel.mp2"));
        EXPECT_EQ(encoder.Threads(), threads);
        EXPECT_EQ(hash, kCases[i].hash) << std::hex << "0x" << hash << "ULL";
    }
}

TEST(GoldenOutput, OneEncoderReusedGivesTheSameBytes) {
    // All cases through one encoder object, in reverse order: no state carries over.
    tavrisk::test::TempDir dir;
    Mp2Encoder encoder;
    for (auto it = std::rbegin(kCases); it != std::rend(kCases); ++it) {
        SCOPED_TRACE(it->name);
        EXPECT_EQ(EncodeCase(*it, encoder, dir.File("reused.mp2")), it->hash);
    }
}

TEST(GoldenOutput, AStreamStoppedEarlyIsTheStartOfTheWholeOne) {
    // Frames are written one call late; Finish() must still write every frame it was given,
    // and an encoder dropped without Finish() must leave cleanly.
    tavrisk::test::TempDir dir;
    GoldenCase c = kCases[0];
    const std::string whole = dir.File("whole.mp2");
    {
        Mp2Encoder encoder;
        EXPECT_EQ(EncodeCase(c, encoder, whole), c.hash);
    }
    const std::vector<std::uint8_t> wholeBytes = tavrisk::test::ReadBytes(whole);
    std::size_t previous = 0;
    for (int blocks : {1, 2, 7}) {
        SCOPED_TRACE(blocks);
        c.blocks = blocks;
        const std::string part = dir.File("part.mp2");
        Mp2Encoder encoder;
        EncodeCase(c, encoder, part);
        const std::vector<std::uint8_t> bytes = tavrisk::test::ReadBytes(part);
        ASSERT_GT(bytes.size(), previous);
        ASSERT_LT(bytes.size(), wholeBytes.size());
        // The last frame's LFE reads ahead past the stopped input, into silence: only the
        // frames before it are those of the whole stream.
        const auto frameBytes = static_cast<std::size_t>(encoder.Length().WholeSlots());
        ASSERT_GE(bytes.size(), frameBytes);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end() - static_cast<long>(frameBytes),
                               wholeBytes.begin()));
        previous = bytes.size();
    }
    Mp2Encoder unfinished;
    EncoderSettings quiet;
    quiet.verbosity = 0;
    MemoryFrameSink sink;
    ASSERT_TRUE(unfinished.Configure(quiet, sink));
    SampleBlock block;
    EXPECT_TRUE(unfinished.EncodeFrame(block));
    EXPECT_TRUE(unfinished.EncodeFrame(block));
}

}  // namespace
}  // namespace tavrisk::mp2
