// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "engines/BlockPipeline.h"

namespace tavrisk {
namespace {

SampleBlock Numbered(int n) {
    SampleBlock block;
    block.Row(0)[0] = n;
    block.Row(SampleBlock::kChannels - 1)[SampleBlock::kFrames - 1] = -n;
    return block;
}

// Every block reaches the work whole and in order, whatever the queue's depth against the
// number of blocks; a failure ends the work there and every later push says so.
TEST(BlockPipeline, HandsEveryBlockInOrderAndStopsAtTheFirstFailure) {
    const struct {
        std::size_t depth;
        int blocks;
        int failAt;  // -1: never
    } cases[] = {{1, 20, -1}, {4, 3, -1}, {4, 50, -1}, {2, 30, 7}, {8, 30, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.depth << " " << c.blocks << " " << c.failAt);
        std::vector<int> seen;
        bool torn = false;
        BlockPipeline pipeline(
            [&](const SampleBlock& block) {
                const int n = static_cast<int>(block.Row(0)[0]);
                torn =
                    torn || block.Row(SampleBlock::kChannels - 1)[SampleBlock::kFrames - 1] != -n;
                seen.push_back(n);
                return n != c.failAt;
            },
            c.depth);
        int refused = 0;
        for (int n = 0; n < c.blocks; ++n) refused += pipeline.Push(Numbered(n)) ? 0 : 1;
        EXPECT_EQ(pipeline.Drain(), c.failAt < 0);
        const int handled = c.failAt < 0 ? c.blocks : c.failAt + 1;
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(handled));
        for (int n = 0; n < handled; ++n) EXPECT_EQ(seen[n], n);
        EXPECT_FALSE(torn);
        // Pushes after the failure was seen are refused; those before it were queued.
        EXPECT_LE(refused, c.blocks - handled);
        if (c.failAt >= 0) {
            EXPECT_FALSE(pipeline.Push(Numbered(c.blocks)));
        }
    }
}

// The work on a block runs while the next blocks are pushed: here it waits for them.
TEST(BlockPipeline, WorksOnABlockWhileTheNextOnesArePushed) {
    std::promise<void> nextPushed;
    std::shared_future<void> pushed = nextPushed.get_future().share();
    bool sawNext = false;
    BlockPipeline pipeline([&](const SampleBlock& block) {
        if (block.Row(0)[0] == 0)
            sawNext = pushed.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        return true;
    });
    ASSERT_TRUE(pipeline.Push(Numbered(0)));
    ASSERT_TRUE(pipeline.Push(Numbered(1)));
    nextPushed.set_value();
    EXPECT_TRUE(pipeline.Drain());
    EXPECT_TRUE(sawNext);
}

}  // namespace
}  // namespace tavrisk
