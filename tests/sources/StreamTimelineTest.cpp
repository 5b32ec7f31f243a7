#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "sources/DamageLog.h"
#include "sources/StreamTimeline.h"

namespace tavrisk::test {
namespace {

constexpr int kRate = 48000;
constexpr uint64_t kMs = 1'000'000;

// Overlapping buffers lose their front (late starts and gaps are measured end to end); after
// a stamp far past the stated length, or far back, the stream follows on.
TEST(StreamTimeline, DropsOverlapsAndFollowsResets) {
    struct Buffer {
        std::optional<uint64_t> startNs;
        int64_t frames, silence, drop;
    };
    const struct {
        std::vector<Buffer> buffers;
        const char* report;
    } cases[] = {
        {{{0, 4800, 0, 0}, {95 * kMs, 480, 0, 240}, {100 * kMs, 480, 0, 240}},
         "2 overlaps dropped (0.010 s in all), the first at 00:00:00.1"},
        {{{0, 1536, 0, 0},
          {3600'000 * kMs, 1536, 0, 0},
          {3600'032 * kMs, 1536, 0, 0},
          {64 * kMs, 1536, 0, 0},
          {std::nullopt, 1536, 0, 0},
          {128 * kMs, 1536, 0, 0}},
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
            EXPECT_EQ(placed.silence, buffer.silence) << c.report;
            EXPECT_EQ(placed.drop, buffer.drop) << c.report;
        }
        const std::string report = log.Report("x.mkv");
        EXPECT_EQ(report.empty() ? "" : report.substr(report.find('\n') + 1), c.report);
    }
}

}  // namespace
}  // namespace tavrisk::test
