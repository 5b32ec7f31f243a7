// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graph/GraphRuntime.h"
#include "tests/graph/GraphInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {

// Tests on files that ffmpeg makes from the six-tone WAV, in a folder kept for the suite.
class GraphFileTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!HaveProgram("ffmpeg")) return;
        folder = std::make_unique<TempDir>();
        wav = MakeToneWav(folder->Path().string());
    }
    static void TearDownTestSuite() { folder.reset(); }

    void SetUp() override {
        if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
        // The program's elements are looked up before any pipeline exists in some tests, and
        // ctest runs each test on its own.
        ASSERT_EQ(InitGraphRuntime().Reason(), "");
    }

    // A file made by ffmpeg from the six-tone WAV (or from `input` arguments of its own).
    static std::string Make(const std::string& name, const std::string& encode,
                            const std::string& input = "") {
        const std::string path = folder->File(name);
        const std::string from = input.empty() ? "-i " + Quote(wav) : input;
        EXPECT_TRUE(Ffmpeg(from + " " + encode + " " + Quote(path))) << name;
        return path;
    }

    static inline std::unique_ptr<TempDir> folder;
    static inline std::string wav;
};

// The name of an element's factory ("" for none).
std::string FactoryOf(GstElement* element);
// Every element of the pipeline, inside bins too, whose klass has all the words given.
std::vector<GstElement*> ElementsOfKlass(GstElement* pipeline, const char* first,
                                         const char* second);

}  // namespace tavrisk::test
