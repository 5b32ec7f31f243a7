#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "sources/DamageLog.h"
#include "sources/StreamTimeline.h"

namespace tavrisk::test {
namespace {

constexpr int kRate = 48000;
constexpr uint64_t kMs = 1'000'000;

struct Buffer {
    std::optional<uint64_t> startNs;
    int64_t frames;
    int64_t silence;  // expected before it
    int64_t drop;     // expected from its front
};

// Buffers stamped on the programme's clock: late ones follow silence, overlapping ones lose
// their front; the stamps' rounding is ignored, and after a stamp past the stated length or
// far back the stream follows on.
TEST(StreamTimeline, PlacesEachBufferByItsStamp) {
    const struct {
        const char* what;
        std::vector<Buffer> buffers;
        const char* report;
    } cases[] = {
        {"a late start", {{2000 * kMs, 1536, 96000, 0}, {2032 * kMs, 1536, 0, 0}},
         "2.000 s of silence before the first audio"},
        {"rounded stamps",
         {{0, 1536, 0, 0}, {33 * kMs, 1536, 0, 0}, {63 * kMs, 1536, 0, 0}, {std::nullopt, 10, 0, 0}},
         ""},
        {"a gap", {{0, 1536, 0, 0}, {3032 * kMs, 1536, 144000, 0}},
         "3.000 s gap at 00:00:00.0 filled with silence"},
        {"an overlap", {{0, 4800, 0, 0}, {95 * kMs, 480, 0, 240}, {100 * kMs, 480, 0, 240}},
         "2 overlaps dropped (0.010 s in all), the first at 00:00:00.1"},
        {"reset stamps",
         {{0, 1536, 0, 0},
          {3600'000 * kMs, 1536, 0, 0},
          {3600'032 * kMs, 1536, 0, 0},
          {64 * kMs, 1536, 0, 0},
          {96 * kMs, 1536, 0, 0}},
         ""},
    };
    for (const auto& c : cases) {
        DamageLog log;
        log.Start(kRate);
        StreamTimeline timeline;
        timeline.Start(kRate, log);
        for (const Buffer& buffer : c.buffers) {
            const StreamTimeline::Placement placed =
                timeline.Place(buffer.startNs, buffer.frames, 10 * kRate);
            EXPECT_EQ(placed.silence, buffer.silence) << c.what;
            EXPECT_EQ(placed.drop, buffer.drop) << c.what;
        }
        const std::string report = log.Report("x.mkv");
        EXPECT_EQ(report.empty() ? "" : report.substr(report.find('\n') + 1), c.report) << c.what;
    }
}

// The frames the demuxer cut from the end of a segment become silence; a stream cut short
// by more than a codec frame is not filled.
TEST(StreamTimeline, CompletesTheSegmentOnlyByACodecFrame) {
    DamageLog log;
    log.Start(kRate);
    StreamTimeline timeline;
    timeline.Start(kRate, log);
    timeline.Place(0, 959488, 0);
    EXPECT_EQ(timeline.TailTo(20000 * kMs), 512);
    EXPECT_EQ(timeline.TailTo(std::nullopt), 0);
    EXPECT_EQ(timeline.TailTo(21000 * kMs), 0);
}

}  // namespace
}  // namespace tavrisk::test
