// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/Libav.h"

namespace tavrisk {
namespace {

constexpr auto kAvutil = static_cast<std::size_t>(LibavLibrary::kAvutil);
constexpr auto kAvcodec = static_cast<std::size_t>(LibavLibrary::kAvcodec);

TEST(Libav, TheFunctionsComeFromTheBuiltVersionsOrTheProblemNamesWhatIsMissing) {
    struct Case {
        const char* what;
        std::size_t replaced;  // the library whose file name is replaced
        std::string file;
        std::string problem;  // how the problem starts; empty when loading succeeds
    };
    const LibavFileNames built = LibavBuiltFileNames();
    const Case cases[] = {
        {"the built versions", kAvcodec, built[kAvcodec], ""},
        {"a missing library", kAvcodec, "libavcodec.so.0-missing",
         "cannot load FFmpeg's libavcodec.so.0-missing: "},
        {"a library without the functions", kAvcodec, built[kAvutil],
         "FFmpeg's " + built[kAvutil] + " has no av"},
    };
    for (const Case& c : cases) {
        LibavFileNames files = built;
        files[c.replaced] = c.file;
        LibavCalls calls;
        std::string problem;
        const bool loaded = LoadLibavCalls(files, calls, problem);
        EXPECT_EQ(loaded, c.problem.empty()) << c.what;
        EXPECT_EQ(problem.substr(0, c.problem.size()), c.problem) << c.what;
        if (!loaded) {
            EXPECT_EQ(calls.avcodec_version, nullptr) << c.what << ": nothing half-loaded";
            continue;
        }
        EXPECT_EQ(calls.avcodec_version() >> 16, unsigned{LIBAVCODEC_VERSION_MAJOR});
        EXPECT_TRUE(calls.swr_init != nullptr && calls.avio_size != nullptr);
    }
    ASSERT_NE(LoadLibav(), nullptr);
    EXPECT_EQ(LibavLoadProblem(), "");
}

}  // namespace
}  // namespace tavrisk
