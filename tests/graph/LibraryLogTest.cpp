#include <glib.h>
#include <gtest/gtest.h>

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

// libav's lines and GLib's warnings reach the library log, not standard error; a watch counts
// the errors of its own thread only.
TEST(LibraryLogTest, LibraryLinesAreCaughtCountedAndKeptInsteadOfPrinted) {
    std::string error;
    ASSERT_TRUE(InitGraphRuntime(error)) << error;
    LibraryLog::CaptureLibav();
    LibraryLog::TakeLines();
    const uint64_t before = LibraryLog::Count();
    ::testing::internal::CaptureStderr();
    const LibavErrorWatch watch;
    av_log(nullptr, AV_LOG_ERROR, "spoilt block %d\n", 7);
    av_log(nullptr, AV_LOG_INFO, "just saying\n");
    std::thread([] { av_log(nullptr, AV_LOG_ERROR, "elsewhere\n"); }).join();
    g_log("GStreamer", G_LOG_LEVEL_WARNING, "a pad is %s", "unlinked");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(watch.Errors(), 1);
    EXPECT_EQ(LibraryLog::Count() - before, 3u);
    EXPECT_EQ(LibraryLog::TakeLines(),
              (std::vector<std::string>{"libav: spoilt block 7", "libav: elsewhere",
                                        "GStreamer: a pad is unlinked"}));
}

}  // namespace
}  // namespace tavrisk::test
