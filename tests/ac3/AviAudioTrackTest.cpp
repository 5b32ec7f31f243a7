// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "sources/ac3/AviAudioTrack.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

using ReadResult = AviAudioTrack::ReadResult;

TEST(AviAudioTrack, RecognisesAviNamesInAnyCase) {
    for (const char* name : {"movie.avi", "MOVIE.AVI", "x.Avi", "a.avi"}) {
        EXPECT_TRUE(AviAudioTrack::IsAviInput(name)) << name;
    }
    for (const char* name : {".avi", "movie.avi.ac3", "avi", "movie.av"}) {
        EXPECT_FALSE(AviAudioTrack::IsAviInput(name)) << name;
    }
}

// Reads the whole track in odd-sized pieces, as the frame reader asks for them.
std::vector<uint8_t> ReadTrack(AviAudioTrack& track, ReadResult& end) {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> piece(777);
    while ((end = track.Read(piece.data(), piece.size())) == ReadResult::kOk) {
        bytes.insert(bytes.end(), piece.begin(), piece.end());
    }
    return bytes;
}

TEST(AviAudioTrack, GivesTheAc3BytesInStreamOrderWithTheirLength) {
    TempDir dir;
    const std::string ac3 = dir.File("in.ac3");
    const std::string avi = dir.File("movie.avi");
    ASSERT_TRUE(MakeAc3(ac3, {.seconds = 2.0}));
    ASSERT_TRUE(MakeAvi(avi, ac3));
    const std::vector<uint8_t> expected = ReadBytes(ac3);

    AviAudioTrack track;
    ASSERT_TRUE(track.Open(avi));
    EXPECT_EQ(track.Length(), static_cast<int64_t>(expected.size()));
    ReadResult end = ReadResult::kOk;
    const std::vector<uint8_t> first = ReadTrack(track, end);
    EXPECT_EQ(end, ReadResult::kEnd);
    const std::size_t whole = expected.size() / 777 * 777;
    ASSERT_EQ(first.size(), whole);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), expected.begin()));
    EXPECT_EQ(track.Position(), static_cast<int64_t>(whole));

    ASSERT_TRUE(track.Rewind());
    EXPECT_EQ(track.Position(), 0);
    EXPECT_EQ(ReadTrack(track, end), first);
}

TEST(AviAudioTrack, TellsATrackThatIsNotAc3) {
    TempDir dir;
    const std::string avi = dir.File("pcm.avi");
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:d=1 -f lavfi "
                         "-i sine=d=1 -c:v mjpeg -c:a pcm_s16le " +
                         Quote(avi))
                  .exitCode,
              0);
    AviAudioTrack track;
    ASSERT_TRUE(track.Open(avi));
    std::vector<uint8_t> buffer(64);
    EXPECT_EQ(track.Read(buffer.data(), buffer.size()), ReadResult::kNotAc3);
}

TEST(AviAudioTrack, FailsToOpenWhatIsNoAviOrHasNoAudio) {
    TempDir dir;
    const std::string videoOnly = dir.File("video.avi");
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:d=1 -c:v "
                         "mjpeg " +
                         Quote(videoOnly))
                  .exitCode,
              0);
    const std::string text = dir.File("text.avi");
    WriteBytes(text, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'v', 'i'});
    AviAudioTrack track;
    EXPECT_FALSE(track.Open(videoOnly));
    EXPECT_FALSE(track.Open(text));
    EXPECT_FALSE(track.Open(dir.File("missing.avi")));
    EXPECT_FALSE(track.IsOpen());
    std::vector<uint8_t> buffer(8);
    EXPECT_EQ(track.Read(buffer.data(), buffer.size()), ReadResult::kError);
}

}  // namespace
}  // namespace tavrisk::test
