// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "mp2dec/StreamDecoder.h"
#include "tests/mp2dec/DecoderTestSupport.h"
#include "tests/mp2dec/TestFrameWriter.h"

namespace tavrisk::mp2dec::test {
namespace {

constexpr int kFrames = 3;

std::string ThreeFrames() {
    const auto frame = WriteTestFrame(TestFrame{});
    std::string stream;
    for (int i = 0; i < kFrames; ++i) stream.append(frame.begin(), frame.end());
    return stream;
}

std::string Lines(const ProblemLog& log) {
    std::string all;
    for (const auto& p : log.Problems()) all += p.Line() + "\n";
    return all;
}

TEST(StreamDecoder, HandsEveryFrameToTheSinkStartedOnce) {
    for (const bool pairOnly : {false, true}) {
        SCOPED_TRACE(pairOnly ? "compatible pair" : "six channels");
        const int channels = pairOnly ? 2 : 6;
        std::istringstream in(ThreeFrames());
        MemorySink sink;
        ProblemLog log;
        StreamDecoder::Summary summary;
        EXPECT_TRUE(StreamDecoder(pairOnly).Decode(in, sink, log, summary)) << Lines(log);
        EXPECT_EQ(sink.starts, 1);
        EXPECT_EQ(sink.channels, channels);
        EXPECT_EQ(sink.rate, 48000);
        EXPECT_EQ(sink.frames, kFrames);
        EXPECT_EQ(sink.samples.size(),
                  static_cast<std::size_t>(kFrames * kFrameSamples * channels));
        EXPECT_EQ(summary.frames, kFrames);
        EXPECT_EQ(log.ErrorCount(), 0u);
    }
}

TEST(StreamDecoder, ASinkThatFailsEndsTheRunAsAFailedWrite) {
    {
        std::istringstream in(ThreeFrames());
        MemorySink sink;
        sink.failStart = true;
        ProblemLog log;
        StreamDecoder::Summary summary;
        EXPECT_FALSE(StreamDecoder(false).Decode(in, sink, log, summary));
        EXPECT_TRUE(summary.writeFailed);
        EXPECT_EQ(sink.frames, 0);
        EXPECT_EQ(Lines(log), "cannot create memory\n");
    }
    {
        std::istringstream in(ThreeFrames());
        MemorySink sink;
        sink.failAtFrame = 2;
        ProblemLog log;
        StreamDecoder::Summary summary;
        EXPECT_FALSE(StreamDecoder(false).Decode(in, sink, log, summary));
        EXPECT_TRUE(summary.writeFailed);
        EXPECT_EQ(sink.frames, 2);  // the third frame is never offered
        EXPECT_NE(Lines(log).find("frame 2: cannot write memory"), std::string::npos) << Lines(log);
    }
    {
        std::istringstream empty("");
        MemorySink sink;
        ProblemLog log;
        StreamDecoder::Summary summary;
        EXPECT_FALSE(StreamDecoder(false).Decode(empty, sink, log, summary));
        EXPECT_FALSE(summary.writeFailed);
        EXPECT_EQ(sink.starts, 0);
        EXPECT_NE(Lines(log).find("no frames found"), std::string::npos) << Lines(log);
    }
}

}  // namespace
}  // namespace tavrisk::mp2dec::test
