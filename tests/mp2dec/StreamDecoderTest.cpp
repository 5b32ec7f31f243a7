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

// A stream long enough to go round the frames a second thread works on several times, with
// what the log tells of along the way: broken extensions, changes of configuration, a frame
// without the extension, bytes between frames and after the last.
std::string EventfulStream() {
    std::string stream;
    for (int i = 0; i < 100; ++i) {
        TestFrame frame;
        for (auto& position : frame.codes) position = {i % 50, (i * 7) % 63, 62 - i % 30};
        frame.lfeCode = i % 31;
        frame.breakMcCrc = i % 9 == 4;
        if (i % 23 == 11) frame.surround = 1;
        frame.extension = i != 60;
        if (i == 40) stream += "junk!";
        const auto bytes = WriteTestFrame(frame);
        stream.append(bytes.begin(), bytes.end());
    }
    return stream + "trailing";
}

TEST(StreamDecoder, ASecondThreadChangesNeitherSamplesNorProblems) {
    const std::string stream = EventfulStream();
    for (const bool pairOnly : {false, true}) {
        for (const long failAt : {0L, 1L, 45L, 99L}) {
            SCOPED_TRACE(std::to_string(pairOnly) + " failing at " + std::to_string(failAt));
            std::string lines[2];
            MemorySink sinks[2];
            StreamDecoder::Summary summaries[2];
            for (const int threads : {1, 2}) {
                std::istringstream in(stream);
                ProblemLog log;
                sinks[threads - 1].failAtFrame = failAt;
                StreamDecoder(pairOnly, StreamDecoder::Programme::kMain, threads)
                    .Decode(in, sinks[threads - 1], log, summaries[threads - 1]);
                lines[threads - 1] = Lines(log);
            }
            EXPECT_EQ(lines[0], lines[1]);
            EXPECT_EQ(sinks[0].samples, sinks[1].samples);
            EXPECT_EQ(sinks[0].frames, sinks[1].frames);
            EXPECT_EQ(summaries[0].frames, summaries[1].frames);
            EXPECT_EQ(summaries[0].stereoFallbacks, summaries[1].stereoFallbacks);
            EXPECT_EQ(summaries[0].writeFailed, failAt > 0);
        }
    }
}

}  // namespace
}  // namespace tavrisk::mp2dec::test
