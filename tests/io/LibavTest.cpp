// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/Libav.h"

namespace tavrisk {
namespace {

constexpr auto kAvutil = static_cast<std::size_t>(LibavLibrary::kAvutil);
constexpr auto kAvcodec = static_cast<std::size_t>(LibavLibrary::kAvcodec);
constexpr auto kAvformat = static_cast<std::size_t>(LibavLibrary::kAvformat);

// The decoders' functions load without libavformat's, and the containers' after them; a
// library missing, or without the functions, is named and leaves the functions as they were.
TEST(Libav, TheFunctionsComeFromTheBuiltVersionsOrTheProblemNamesWhatIsMissing) {
    struct Case {
        const char* what;
        std::size_t replaced;  // the library whose file name is replaced
        std::string file;
        std::string decodersProblem;  // how the problem starts; empty when loading succeeds
        std::string containersProblem;
    };
    const LibavFileNames built = LibavBuiltFileNames();
    const Case cases[] = {
        {"the built versions", kAvcodec, built[kAvcodec], "", ""},
        {"a missing library", kAvcodec, "libavcodec.so.0-missing",
         "cannot load FFmpeg's libavcodec.so.0-missing: ", ""},
        {"a library without the functions", kAvcodec, built[kAvutil],
         "FFmpeg's " + built[kAvutil] + " has no av", ""},
        {"a missing container library", kAvformat, "libavformat.so.0-missing", "",
         "cannot load FFmpeg's libavformat.so.0-missing: "},
    };
    for (const Case& c : cases) {
        LibavFileNames files = built;
        files[c.replaced] = c.file;
        LibavCalls calls;
        std::string problem;
        const bool decoders = LoadLibavCalls(files, LibavUse::kDecoders, calls, problem);
        EXPECT_EQ(decoders, c.decodersProblem.empty()) << c.what;
        EXPECT_EQ(problem.substr(0, c.decodersProblem.size()), c.decodersProblem) << c.what;
        EXPECT_EQ(calls.avcodec_version != nullptr, decoders) << c.what << ": all or nothing";
        EXPECT_EQ(calls.avio_size, nullptr) << c.what << ": no container function yet";
        if (!decoders) continue;
        EXPECT_EQ(calls.avcodec_version() >> 16, unsigned{LIBAVCODEC_VERSION_MAJOR});
        problem.clear();
        const bool containers = LoadLibavCalls(files, LibavUse::kContainers, calls, problem);
        EXPECT_EQ(containers, c.containersProblem.empty()) << c.what;
        EXPECT_EQ(problem.substr(0, c.containersProblem.size()), c.containersProblem) << c.what;
        EXPECT_EQ(calls.avio_size != nullptr, containers) << c.what;
        EXPECT_NE(calls.swr_init, nullptr) << c.what << ": the decoders' functions are kept";
    }
    ASSERT_NE(LoadLibav(LibavUse::kContainers), nullptr);
    EXPECT_EQ(LibavLoadProblem(LibavUse::kContainers), "");
}

}  // namespace
}  // namespace tavrisk
