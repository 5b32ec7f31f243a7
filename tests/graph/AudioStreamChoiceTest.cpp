// SPDX-License-Identifier: GPL-3.0-or-later
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

}  // namespace
}  // namespace tavrisk
