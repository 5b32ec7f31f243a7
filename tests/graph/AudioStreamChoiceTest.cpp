#include <gtest/gtest.h>

#include "graph/AudioStreamChoice.h"

namespace tavrisk {
namespace {

AudioStreamDescription Stream(int channels, DefaultFlag flag = DefaultFlag::kUnflagged) {
    AudioStreamDescription stream;
    stream.channels = channels;
    stream.flag = flag;
    return stream;
}

TEST(AudioStreamChoiceTest, TheFirstWithMostChannelsUpToFivePointOneThenTheDefault) {
    constexpr auto kDefault = DefaultFlag::kDefault;
    constexpr auto kNot = DefaultFlag::kNotDefault;
    const struct {
        std::vector<AudioStreamDescription> streams;
        std::size_t chosen;
        const char* reason;
    } cases[] = {
        {{Stream(6)}, 0, "the only audio track"},
        {{Stream(2, kDefault), Stream(6, kNot)}, 1, "the first with the most channels, up to 5.1"},
        {{Stream(6), Stream(8)}, 0, "the first with the most channels, up to 5.1"},
        {{Stream(1), Stream(8), Stream(6)}, 1, "the first with the most channels, up to 5.1"},
        {{Stream(6, kNot), Stream(6, kDefault)},
         1,
         "the default of those with the most channels, up to 5.1"},
        {{Stream(6, kNot), Stream(6)}, 1, "the first with the most channels, up to 5.1"},
    };
    for (const auto& c : cases) {
        const std::optional<AudioStreamChoice> choice = ChooseAudioStream(c.streams);
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->index, c.chosen) << c.reason;
        EXPECT_EQ(choice->reason, c.reason);
    }
    const std::vector<AudioStreamDescription> two = {Stream(6), Stream(2)};
    EXPECT_EQ(ChooseAudioStream(two, 1)->index, 1u);
    EXPECT_EQ(ChooseAudioStream(two, 1)->reason, "the track asked for");
    EXPECT_FALSE(ChooseAudioStream(two, 2));
    EXPECT_FALSE(ChooseAudioStream({}));
}

TEST(AudioStreamChoiceTest, DescriptionsLeaveOutWhatIsNotKnown) {
    AudioStreamDescription full = Stream(6, DefaultFlag::kDefault);
    full.codec = "E-AC-3";
    full.layout = "5.1";
    full.rate = 48000;
    full.samples = "float";
    full.language = "en";
    full.title = "Film";
    full.durationNs = 3723004000000ull;
    EXPECT_EQ(DescribeAudioStream(1, full),
              "2: E-AC-3, 5.1 (6 channels), 48000 Hz, float, en, \"Film\", default, 1:02:03.004");
    AudioStreamDescription bare = Stream(4);
    bare.layout = "4 channels";
    EXPECT_EQ(DescribeAudioStream(0, bare), "1: ?, 4 channels");
}

}  // namespace
}  // namespace tavrisk
