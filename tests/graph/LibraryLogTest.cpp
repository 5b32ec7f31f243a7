#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "graph/GraphRuntime.h"
#include "platform/LibraryLog.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tavrisk::test {
namespace {

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// libav's lines and GLib's warnings reach the library log, not standard error; a watch counts
// the errors of its own thread only.
TEST(LibraryLogTest, LibraryLinesAreCaughtCountedAndKeptInsteadOfPrinted) {
    std::string error;
    ASSERT_TRUE(InitGraphRuntime(error)) << error;
    LibraryLog::CaptureLibav();
    LibraryLog::TakeLines();
    const uint64_t before = LibraryLog::Count();
    ::testing::internal::CaptureStderr();
    int errorsSeen = 0;
    {
        const LibavErrorWatch watch;
        av_log(nullptr, AV_LOG_ERROR, "spoilt block %d\n", 7);
        av_log(nullptr, AV_LOG_WARNING, "odd value\n");
        av_log(nullptr, AV_LOG_INFO, "just saying\n");
        std::thread([] { av_log(nullptr, AV_LOG_ERROR, "elsewhere\n"); }).join();
        g_log("GStreamer", G_LOG_LEVEL_WARNING, "a pad is %s", "unlinked");
        errorsSeen = watch.Errors();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(errorsSeen, 1);
    EXPECT_EQ(LibraryLog::Count() - before, 4u);
    const std::vector<std::string> lines = LibraryLog::TakeLines();
    EXPECT_TRUE(Has(lines, "libav: spoilt block 7"));
    EXPECT_TRUE(Has(lines, "libav: elsewhere"));
    EXPECT_TRUE(Has(lines, "GStreamer: a pad is unlinked"));
    EXPECT_FALSE(Has(lines, "libav: just saying"));
    EXPECT_TRUE(LibraryLog::TakeLines().empty());
}

}  // namespace
}  // namespace tavrisk::test
