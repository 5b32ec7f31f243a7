// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "mp2dec/FrameDecoder.h"
#include "mp2dec/FrameParser.h"
#include "mp2dec/StreamDecoder.h"
#include "tests/mp2dec/DecoderTestSupport.h"
#include "tests/mp2dec/TestFrameWriter.h"

namespace tavrisk::mp2dec::test {
namespace {

TestFrame FiveChannelFrame() {
    TestFrame f;
    f.codes = {{{40, 10, -1}, {31, -1, 2}, {5, 50, 62}, {-1, 33, 0}, {12, 13, 14}}};
    return f;
}

struct Parsed {
    std::unique_ptr<FrameContent> content = std::make_unique<FrameContent>();
    ProblemLog log;
    std::string Problems() const {
        std::string all;
        for (const auto& p : log.Problems()) all += p.Line() + "\n";
        return all;
    }
};

// Parses `bytes` as frame 7 of a stream whose frame 6 was a good five-channel frame.
std::unique_ptr<Parsed> ParseFrame(const std::vector<uint8_t>& bytes) {
    auto parsed = std::make_unique<Parsed>();
    FrameParser parser;
    const auto good = WriteTestFrame(FiveChannelFrame());
    parser.Parse(good.data(), *FrameHeader::Parse(good.data()), true, *parsed->content, 6,
                 parsed->log);
    EXPECT_TRUE(parsed->content->extensionValid) << parsed->Problems();
    const auto header = FrameHeader::Parse(bytes.data());
    EXPECT_TRUE(header.has_value());
    if (!header) return parsed;
    parser.Parse(bytes.data(), *header, true, *parsed->content, 7, parsed->log);
    return parsed;
}

TEST(ExtensionParse, ReadsEveryTransmissionChannelTheLfeAndGroupwiseAllocation) {
    TestFrame f = FiveChannelFrame();
    f.groupwiseTc = true;
    f.dematrixProcedure = 1;
    f.tcAlloc = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4};
    f.lfeScaleIndex = 6;
    const auto p = ParseFrame(WriteTestFrame(f));
    ASSERT_TRUE(p->content->baseValid) << p->Problems();
    ASSERT_TRUE(p->content->extensionValid) << p->Problems();
    EXPECT_TRUE(p->log.Problems().empty()) << p->Problems();
    const auto& ext = p->content->extension;
    EXPECT_TRUE(ext.present);
    EXPECT_EQ(ext.center, 1);
    EXPECT_EQ(ext.surround, 2);
    EXPECT_TRUE(ext.lfe);
    EXPECT_EQ(ext.dematrixProcedure, 1);
    EXPECT_EQ(ext.tcAlloc, f.tcAlloc);
    for (int ch = 0; ch < 5; ++ch)
        for (int sb = 0; sb < 4; ++sb)
            for (int i : {0, 17, 35}) {
                const int code = sb < 3 ? f.codes[ch][sb] : -1;
                const double expected = code < 0 ? 0.0 : TestFrame::Value(code);
                EXPECT_NEAR(p->content->positions[ch][i][sb], expected, 1e-15)
                    << "channel " << ch << " subband " << sb << " sample " << i;
            }
    const double lfe = 0.5 * (2.0 * 20 + 1 - 31) / 31;  // scale index 6: 2^-1
    for (double v : p->content->lfe) EXPECT_NEAR(v, lfe, 1e-15);
}

TEST(ExtensionParse, OneAllocationForAllGroups) {
    TestFrame f = FiveChannelFrame();
    f.tcAlloc.fill(0);
    f.tcAlloc[0] = 6;
    const auto p = ParseFrame(WriteTestFrame(f));
    ASSERT_TRUE(p->content->extensionValid) << p->Problems();
    for (int tc : p->content->extension.tcAlloc) EXPECT_EQ(tc, 6);
}

TEST(ExtensionParse, ForeignAncillaryDataBeforeAnyConfirmedExtensionMeansStereo) {
    for (const bool brokenCrc : {true, false}) {
        TestFrame f = FiveChannelFrame();
        f.breakMcCrc = brokenCrc;
        f.dynCross = !brokenCrc;
        const auto bytes = WriteTestFrame(f);
        FrameParser parser;
        auto content = std::make_unique<FrameContent>();
        ProblemLog log;
        for (long frame = 1; frame <= 3; ++frame) {
            parser.Parse(bytes.data(), *FrameHeader::Parse(bytes.data()), true, *content, frame,
                         log);
            EXPECT_TRUE(content->baseValid);
            EXPECT_FALSE(content->extension.present);
            EXPECT_FALSE(content->extensionUnsupported);
        }
        ASSERT_EQ(log.Problems().size(), 1u);  // said once
        EXPECT_EQ(log.ErrorCount(), 0u);
        EXPECT_NE(log.Problems()[0].Line().find("frame 1: warning: ancillary data is not a "
                                                "multichannel extension this decoder reads ("),
                  std::string::npos)
            << log.Problems()[0].Line();
    }
}

TEST(ExtensionParse, StereoFrameHasNoExtension) {
    TestFrame f = FiveChannelFrame();
    f.extension = false;
    const auto p = ParseFrame(WriteTestFrame(f));
    EXPECT_TRUE(p->content->baseValid);
    EXPECT_FALSE(p->content->extension.present);
    EXPECT_TRUE(p->log.Problems().empty()) << p->Problems();
    EXPECT_EQ(p->content->positions[2][0][0], 0.0);
}

TEST(ExtensionParse, DamageIsReportedWithTheFrameNumber) {
    struct Case {
        const char* what;
        void (*change)(TestFrame&);
        const char* message;
        bool baseValid;
    };
    const Case cases[] = {
        {"mc crc", [](TestFrame& f) { f.breakMcCrc = true; }, "frame 7: multichannel CRC mismatch",
         true},
        {"overrun", [](TestFrame& f) { f.bitrateIndex = 8; },
         "frame 7: multichannel part runs beyond the frame", true},
        {"code", [](TestFrame& f) { f.codes[3][1] = 63; }, "sample code 63 out of range", true},
        {"scale", [](TestFrame& f) { f.scaleIndex = 63; }, "invalid scale factor index 63", false},
        {"tc 5 matrix surround",
         [](TestFrame& f) {
             f.dematrixProcedure = 2;
             f.tcAlloc[0] = 5;
         },
         "tc_allocation 5 in group 0 is invalid with dematrix procedure 2", true},
        {"tc without matrix",
         [](TestFrame& f) {
             f.dematrixProcedure = 3;
             f.tcAlloc[0] = 1;
         },
         "tc_allocation 1 in group 0 is invalid with dematrix procedure 3", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFrame f = FiveChannelFrame();
        c.change(f);
        const auto p = ParseFrame(WriteTestFrame(f));
        EXPECT_NE(p->Problems().find(c.message), std::string::npos) << p->Problems();
        EXPECT_GT(p->log.ErrorCount(), 0u);
        EXPECT_EQ(p->content->baseValid, c.baseValid);
        EXPECT_FALSE(p->content->extensionValid);
    }
}

TEST(ExtensionParse, UnsupportedFeaturesAreNamedAndTheFrameGivesItsCompatiblePair) {
    struct Case {
        void (*change)(TestFrame&);
        const char* message;
    };
    const Case cases[] = {
        {[](TestFrame& f) { f.dynCross = true; }, "dynamic cross-talk is not supported"},
        {[](TestFrame& f) { f.center = 2; }, "channel configuration (centre 2, surround 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TestFrame f = FiveChannelFrame();
        c.change(f);
        const auto good = WriteTestFrame(FiveChannelFrame());
        const auto bad = WriteTestFrame(f);
        const auto p = ParseFrame(bad);
        EXPECT_TRUE(p->content->extensionUnsupported);
        EXPECT_NE(p->Problems().find(c.message), std::string::npos) << p->Problems();

        // The second frame gives its compatible pair; the run goes on.
        std::string stream(good.begin(), good.end());
        stream.append(bad.begin(), bad.end());
        std::istringstream in(stream);
        MemorySink sink;
        ProblemLog log;
        StreamDecoder::Summary summary;
        EXPECT_TRUE(StreamDecoder(false).Decode(in, sink, log, summary));
        EXPECT_EQ(summary.stereoFallbacks, 1);
        EXPECT_EQ(summary.frames, 2);
        ASSERT_FALSE(log.Problems().empty());
        EXPECT_EQ(log.Problems().back().frame, 2);

        // The compatible pair alone still decodes.
        std::istringstream again(stream);
        MemorySink pair;
        EXPECT_TRUE(StreamDecoder(true).Decode(again, pair, log, summary));
        EXPECT_EQ(summary.frames, 2);
    }
}

}  // namespace
}  // namespace tavrisk::mp2dec::test
