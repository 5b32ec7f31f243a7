// SPDX-License-Identifier: GPL-3.0-or-later
// Frames built by hand for what our encoder does not write, decoded and checked against the
// relations the matrix defines.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <span>
#include <sstream>

#include "mp2dec/Dematrixer.h"
#include "mp2dec/FrameParser.h"
#include "mp2dec/StreamChecker.h"
#include "mp2dec/StreamDecoder.h"
#include "tests/mp2dec/DecoderTestSupport.h"
#include "tests/mp2dec/TestFrameWriter.h"

namespace tavrisk::mp2dec::test {
namespace {

TestFrame FullFiveChannelFrame() {
    TestFrame f;
    f.codes = {{{40, 10, 52}, {31, 7, 2}, {5, 50, 62}, {60, 33, 0}, {12, 13, 14}}};
    return f;
}

std::string Lines(const ProblemLog& log) {
    std::string all;
    for (const auto& p : log.Problems()) all += p.Line() + "\n";
    return all;
}

// Centre and surround weights and the normalisation of each procedure.
struct Weights {
    double center, surround, norm;
};
Weights WeightsOf(int procedure) {
    const double r = std::sqrt(0.5);
    if (procedure == 1) return {r, 0.5, 1.0 / (1.5 + r)};
    if (procedure == 3) return {1.0, 1.0, 1.0};
    return {r, r, 1.0 / (1.0 + 2.0 * r)};
}

// Channels each tc_allocation of 3/2 carries in positions 2..4, as output channels.
constexpr OutputChannel kCarried[8][3] = {{kOutC, kOutLs, kOutRs}, {kOutL, kOutLs, kOutRs},
                                          {kOutR, kOutLs, kOutRs}, {kOutC, kOutL, kOutRs},
                                          {kOutC, kOutLs, kOutR},  {kOutC, kOutL, kOutR},
                                          {kOutR, kOutL, kOutRs},  {kOutL, kOutLs, kOutR}};

// Parses the frame, dematrixes it and matrixes the five channels again: the compatible pair
// and the carried channels must come back.
void ExpectMatrixUndone(const TestFrame& f) {
    const auto bytes = WriteTestFrame(f);
    FrameParser parser;
    auto content = std::make_unique<FrameContent>();
    ProblemLog log;
    parser.Parse(bytes.data(), *FrameHeader::Parse(bytes.data()), true, *content, 1, log);
    ASSERT_TRUE(content->extensionValid) << Lines(log);
    auto out = std::make_unique<std::array<SubbandBlock, kMainChannels>>();
    Dematrixer().Run(*content, *out);
    const Weights w = WeightsOf(f.dematrixProcedure);
    const auto& pos = content->positions;
    for (int sb = 0; sb < TestFrame::kCodedSubbands; ++sb) {
        for (int i : {0, 20, 35}) {
            auto v = [&](OutputChannel ch) { return (*out)[ch][i][sb]; };
            const double weight[kMainChannels] = {w.norm, w.norm * w.center, w.norm,
                                                  w.norm * w.surround, w.norm * w.surround};
            const double l = weight[kOutL] * v(kOutL), r = weight[kOutR] * v(kOutR);
            const double c = weight[kOutC] * v(kOutC);
            const double ls = weight[kOutLs] * v(kOutLs), rs = weight[kOutRs] * v(kOutRs);
            double lo = l + c + ls, ro = r + c + rs;
            if (f.dematrixProcedure == 2) {
                lo = l + c - 0.5 * (ls + rs);
                ro = r + c + 0.5 * (ls + rs);
            } else if (f.dematrixProcedure == 3) {
                lo = l;
                ro = r;
            }
            EXPECT_NEAR(lo, pos[0][i][sb], 1e-12) << "Lo, subband " << sb;
            EXPECT_NEAR(ro, pos[1][i][sb], 1e-12) << "Ro, subband " << sb;
            const int tc = f.groupwiseTc ? f.tcAlloc[sb] : f.tcAlloc[0];
            for (int p = 0; p < 3; ++p) {
                const OutputChannel ch = kCarried[tc][p];
                EXPECT_NEAR(weight[ch] * v(ch), pos[2 + p][i][sb], 1e-12)
                    << "position " << 2 + p << ", subband " << sb << ", tc " << tc;
            }
        }
    }
    const double lfe = f.lfe ? TestFrame::LfeValue(f.lfeCode, f.lfeScaleIndex) : 0.0;
    for (double v : content->lfe) EXPECT_NEAR(v, lfe, 1e-15);
}

TEST(HandBuiltDecode, EveryMatrixProcedureWithAndWithoutLfeAndPerGroupAllocation) {
    struct Allocation {
        bool groupwise;
        std::array<int, 3> groups;  // of subbands 0..2
    };
    const Allocation additive[] = {
        {false, {0, 0, 0}}, {false, {7, 7, 7}}, {true, {1, 3, 6}}, {true, {2, 4, 5}}};
    const Allocation matrixSurround[] = {{false, {0, 0, 0}}, {true, {1, 3, 6}}, {true, {2, 4, 7}}};
    const Allocation none[] = {{false, {0, 0, 0}}};
    for (int procedure = 0; procedure < 4; ++procedure) {
        using Allocations = std::span<const Allocation>;
        const Allocations allocations = procedure == 2   ? Allocations(matrixSurround)
                                        : procedure == 3 ? Allocations(none)
                                                         : Allocations(additive);
        for (const Allocation& a : allocations)
            for (const bool lfe : {true, false}) {
                SCOPED_TRACE("procedure " + std::to_string(procedure) + ", tc " +
                             std::to_string(a.groups[0]) + std::to_string(a.groups[1]) +
                             std::to_string(a.groups[2]) + (lfe ? ", LFE" : ""));
                TestFrame f = FullFiveChannelFrame();
                f.dematrixProcedure = procedure;
                f.lfe = lfe;
                f.groupwiseTc = a.groupwise;
                std::copy(a.groups.begin(), a.groups.end(), f.tcAlloc.begin());
                ExpectMatrixUndone(f);
            }
    }
}

std::string Stream(const std::vector<TestFrame>& frames) {
    std::string stream;
    for (const TestFrame& f : frames) {
        const auto bytes = WriteTestFrame(f);
        stream.append(bytes.begin(), bytes.end());
    }
    return stream;
}

// Decodes a stream to six channels and, when asked, to the compatible pair.
struct Decoded {
    MemorySink six, pair;
    ProblemLog log;
    StreamDecoder::Summary summary;
};
using Programme = StreamDecoder::Programme;
std::unique_ptr<Decoded> Decode(const std::string& stream, bool alsoPair = false,
                                Programme programme = Programme::kMain) {
    auto d = std::make_unique<Decoded>();
    std::istringstream in(stream), again(stream);
    EXPECT_TRUE(StreamDecoder(false, programme).Decode(in, d->six, d->log, d->summary))
        << Lines(d->log);
    ProblemLog pairLog;
    StreamDecoder::Summary pairSummary;
    if (alsoPair) StreamDecoder(true).Decode(again, d->pair, pairLog, pairSummary);
    return d;
}

// In `frame` (from 0), from the sample where the previous frame no longer reaches through
// the filterbank (the LFE interpolator reaches further): six-channel L and R equal the
// pair, the other channels are silent.
void ExpectCompatiblePairIn(const Decoded& d, int frame) {
    constexpr int kSettled = 640;
    constexpr int kLfeSettled = 1000;
    for (int s = kSettled; s < kFrameSamples; ++s) {
        const std::size_t at = static_cast<std::size_t>(frame * kFrameSamples + s);
        const int16_t* six = &d.six.samples[at * kOutputChannels];
        const int16_t* pair = &d.pair.samples[at * kCompatibleChannels];
        ASSERT_EQ(six[kOutL], pair[0]) << "sample " << s;
        ASSERT_EQ(six[kOutR], pair[1]) << "sample " << s;
        for (int ch : {kOutC, kOutLs, kOutRs}) ASSERT_EQ(six[ch], 0) << "channel " << ch;
        if (s >= kLfeSettled) {
            ASSERT_EQ(six[kOutLfe], 0) << "sample " << s;
        }
    }
}

TEST(HandBuiltDecode, AFrameWhoseExtensionIsDamagedGivesItsCompatiblePair) {
    std::vector<TestFrame> frames(5, FullFiveChannelFrame());
    frames[3].breakMcCrc = true;
    frames[4].extension = false;
    const auto d = Decode(Stream(frames), true);
    EXPECT_FALSE(d->summary.stereoOnly);  // six channels written
    EXPECT_EQ(d->summary.frames, 5);
    EXPECT_EQ(d->summary.muted, 0);
    EXPECT_EQ(d->summary.stereoFallbacks, 1);
    EXPECT_EQ(d->log.ErrorCount(), 1u) << Lines(d->log);
    EXPECT_NE(Lines(d->log).find("frame 4: multichannel CRC mismatch"), std::string::npos);
    ExpectCompatiblePairIn(*d, 3);
    // The frame before it keeps its five channels.
    const std::size_t before = static_cast<std::size_t>(2 * kFrameSamples + 700) * kOutputChannels;
    EXPECT_NE(d->six.samples[before + kOutC], 0);
    EXPECT_NE(d->six.samples[before + kOutLfe], 0);
    // Nor is a stream whose extension starts in its second frame one without.
    frames[0].extension = false;
    EXPECT_FALSE(Decode(Stream(frames))->summary.stereoOnly);
}

// 112 kbit/s frames (the lowest rate of the frame builder's table) whose data continues in
// extension frames.
TestFrame SplitFrame() {
    TestFrame f = FullFiveChannelFrame();
    f.bitrateIndex = 7;
    f.extensionFrameBytes = 700;
    f.ancillaryBytes = 3;
    return f;
}

// The data of 112 kbit/s frames continued in extension frames decodes exactly as the same
// data in 384 kbit/s frames.
TEST(HandBuiltDecode, DataContinuedInExtensionFramesDecodesAsIfInOneFrame) {
    constexpr int kFrames = 4;
    const TestFrame whole = FullFiveChannelFrame();
    const TestFrame split = SplitFrame();
    const auto reference = Decode(Stream(std::vector<TestFrame>(kFrames, whole)));
    {  // the data does need the extension frame
        const auto bytes = WriteTestFrame(whole);
        FrameParser parser;
        auto content = std::make_unique<FrameContent>();
        ProblemLog log;
        parser.Parse(bytes.data(), *FrameHeader::Parse(bytes.data()), true, *content, 1, log);
        EXPECT_GT(content->bitsUsed, 8u * (144000 * 112 / 48000 - split.ancillaryBytes));
    }
    const std::string stream = Stream(std::vector<TestFrame>(kFrames, split));
    const auto d = Decode(stream);
    EXPECT_TRUE(d->log.Problems().empty()) << Lines(d->log);
    EXPECT_EQ(d->summary.frames, kFrames);
    EXPECT_EQ(d->six.channels, kOutputChannels);
    EXPECT_EQ(d->six.samples, reference->six.samples);

    std::istringstream in(stream);
    ProblemLog log;
    const auto checked = StreamChecker().Check(in, log);
    EXPECT_TRUE(log.Problems().empty()) << Lines(log);
    EXPECT_EQ(checked.withExtension, kFrames);
    EXPECT_EQ(checked.extensionBytes, static_cast<uint64_t>(kFrames * split.extensionFrameBytes));
}

TEST(HandBuiltDecode, ADamagedOrMissingExtensionFrameGivesTheCompatiblePairAndKeepsTime) {
    const TestFrame split = SplitFrame();
    std::vector<TestFrame> frames(4, split);
    frames[1].breakExtensionFrameCrc = true;
    frames[2].extensionFrameBytes = 0;  // all in one frame
    frames[2].bitrateIndex = TestFrame{}.bitrateIndex;
    std::string stream = Stream(frames);
    // An extension frame after the frame that carries all its data; the last one cut off.
    const auto extra = WriteTestFrame(split);
    const std::size_t splitBytes = extra.size();
    const std::size_t baseBytes = splitBytes - static_cast<std::size_t>(split.extensionFrameBytes);
    stream.insert(2 * splitBytes + WriteTestFrame(frames[2]).size(),
                  std::string(extra.begin() + static_cast<std::ptrdiff_t>(baseBytes), extra.end()));
    stream.resize(stream.size() - 100);
    const auto d = Decode(stream);
    const std::string lines = Lines(d->log);
    for (const char* message : {"frame 2: extension frame CRC mismatch",
                                "frame 3: extension frame not announced by its frame; ignored",
                                "frame 4: the extension frame this frame announces is missing"})
        EXPECT_NE(lines.find(message), std::string::npos) << message << "\n" << lines;
    EXPECT_EQ(d->summary.frames, 4);
    EXPECT_EQ(d->summary.stereoFallbacks, 2);
    EXPECT_EQ(d->six.samples.size(), static_cast<std::size_t>(4 * kFrameSamples * 6));

    // Bytes that look like the header of a long extension frame do not swallow the frames
    // after them.
    std::string plain = Stream(std::vector<TestFrame>(5, FullFiveChannelFrame()));
    plain.insert(2 * WriteTestFrame(FullFiveChannelFrame()).size(), "\x7F\xFF\xFF\xFF\xFF", 5);
    const auto junk = Decode(plain);
    EXPECT_EQ(junk->summary.frames, 5);
    EXPECT_EQ(junk->summary.stereoFallbacks, 0);
}

TEST(HandBuiltDecode, MultilingualChannelsAreSkippedAndPredictingFramesGiveTheirPair) {
    struct Case {
        void (*change)(TestFrame&);
        const char* lines;
        long fallbacks;
    };
    const Case cases[] = {
        {[](TestFrame& f) { f.multiLingual = 2; },
         "frame 2: warning: 2 multilingual channel(s) not decoded; skipped\n", 0},
        {[](TestFrame& f) { f.prediction = true; }, "", 0},  // flags set, no group predicts
        {[](TestFrame& f) { f.prediction = true, f.predictedGroup = 2; },
         "frame 2: warning: multichannel prediction is not decoded; frames that use it give "
         "their compatible pair\n",
         2},
    };
    std::vector<TestFrame> frames(4, FullFiveChannelFrame());
    const auto reference = Decode(Stream(frames));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        c.change(frames[1]);
        c.change(frames[2]);
        const auto d = Decode(Stream(frames), true);
        EXPECT_EQ(Lines(d->log), c.lines);
        EXPECT_EQ(d->summary.stereoFallbacks, c.fallbacks);
        if (c.fallbacks > 0)
            ExpectCompatiblePairIn(*d, 2);
        else
            EXPECT_EQ(d->six.samples, reference->six.samples);
        frames = std::vector<TestFrame>(4, FullFiveChannelFrame());
    }
}

// A centre limited to the subbands below 12 decodes as a full one where the writer codes
// (0..2), in 3/2, 3/1 and 3/0 under every procedure; an upper group that would put R where
// the centre is not carried is refused.
TEST(HandBuiltDecode, ALimitedCentreInEveryConfigurationWithACentre) {
    for (const int surround : {2, 1, 0})
        for (int procedure = 0; procedure < 4; ++procedure) {
            SCOPED_TRACE(std::to_string(surround) + ", procedure " + std::to_string(procedure));
            TestFrame full = FullFiveChannelFrame();
            full.surround = surround;
            full.dematrixProcedure = procedure;
            full.lfe = procedure % 2 == 0;
            full.groupwiseTc = true;
            if (procedure != 3) full.tcAlloc = {0, 1, 2};  // L, then R next to the pair
            TestFrame limited = full;
            limited.center = 3;
            const auto d = Decode(Stream({limited, limited}));
            EXPECT_EQ(Lines(d->log), "");
            EXPECT_EQ(d->six.samples, Decode(Stream({full, full}))->six.samples);
            limited.tcAlloc[11] = 2;
            EXPECT_EQ(Decode(Stream({limited}))->summary.stereoFallbacks, 1);
        }
}

// The main programme of a stream with a second stereo programme decodes as the same frame
// without it (and says so); the second programme alone as surrounds sent unmatrixed.
TEST(HandBuiltDecode, ASecondStereoProgrammeIsLeftOutOfTheMainOutputOrDecodedAlone) {
    for (const int center : {1, 0}) {
        TestFrame second = FullFiveChannelFrame();
        second.center = center;
        second.surround = 3;
        second.tcAlloc[0] = center;  // L next to the pair when there is a centre
        TestFrame main = second, unmatrixed = second;
        main.surround = 0;
        unmatrixed.surround = 2;
        unmatrixed.dematrixProcedure = 3;
        unmatrixed.tcAlloc[0] = 0;
        const auto d = Decode(Stream({second, second}));
        EXPECT_EQ(Lines(d->log),
                  "frame 1: warning: the stream carries a second stereo programme that is not in "
                  "the output\n");
        EXPECT_EQ(d->six.samples, Decode(Stream({main, main}))->six.samples);
        const auto alone = Decode(Stream({second, second}), false, Programme::kSecond);
        const auto surrounds = Decode(Stream({unmatrixed, unmatrixed}));
        const auto n = static_cast<std::size_t>(surrounds->six.channels);
        ASSERT_EQ(alone->six.samples.size(), 2 * surrounds->six.samples.size() / n);
        for (std::size_t s = 0; s < alone->six.samples.size(); ++s)
            ASSERT_EQ(alone->six.samples[s],
                      surrounds->six.samples[s / 2 * n + center + 2 + s % 2]);
    }
}

}  // namespace
}  // namespace tavrisk::mp2dec::test
