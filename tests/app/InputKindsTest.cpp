// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/InputKinds.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

TEST(InputKinds, EachNameGoesToItsReader) {
    const struct {
        const char* name;
        const char* extension;
    } cases[] = {{"/films/a.wavs/film.ac3", "wav"},  // ".wav" anywhere, in any case
                 {"/films/film.WAV", "wav"},
                 {"film.avi.wav", "wav"},
                 {"film.wav.ac3", "wav"},
                 {"/films/film.ac3", "ac3"},
                 {"film.AVI", "ac3"},  // through the AC-3 reader
                 {"film.vob", "ac3"}};
    for (const auto& c : cases)
        EXPECT_STREQ(NativeInputKindOf(c.name).extension, c.extension) << c.name;
}

TEST(InputKinds, TheFileDialogListsEveryNativeInput) {
    EXPECT_EQ(NativeInputDialogFilter(),
              "AC3 Files (*.ac3);;AVI Files (*.avi);;6 Channels WAV Files with AC3 (*.wav)");
}

TEST(InputKinds, OnlyRegularFilesAreProbed) {
    test::TempDir dir;
    // A pipe would block the probe until a writer comes; a folder has no rate.
    ASSERT_EQ(::mkfifo(dir.File("pipe.wav").c_str(), 0600), 0);
    EXPECT_EQ(ProbeNativeInputRate(dir.File("pipe.wav")), std::nullopt);
    EXPECT_EQ(ProbeNativeInputRate(dir.Path().string()), std::nullopt);
    EXPECT_EQ(ProbeNativeInputRate(dir.File("missing.ac3")), std::nullopt);
}

}  // namespace
}  // namespace tavrisk
