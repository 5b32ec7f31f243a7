// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
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

// A caller that found the queue full goes on once half of it is free, not after each block
// handled: the worker wakes it once for several blocks. The blocks still all arrive, in order.
TEST(BlockPipeline, AFullQueueTakesBlocksAgainOnceHalfOfItIsFree) {
    constexpr std::size_t kDepth = 4;
    constexpr int kBlocks = 8;
    std::mutex gate;
    std::condition_variable moved;
    int allowed = 0;
    std::vector<int> seen;
    BlockPipeline pipeline(
        [&](const SampleBlock& block) {
            std::unique_lock guard(gate);
            moved.wait(guard, [&] { return static_cast<int>(seen.size()) < allowed; });
            seen.push_back(static_cast<int>(block.Row(0)[0]));
            moved.notify_all();
            return true;
        },
        kDepth);
    std::atomic<int> pushed{0};
    std::thread caller([&] {
        for (int n = 0; n < kBlocks; ++n) pushed += pipeline.Push(Numbered(n)) ? 1 : 0;
    });
    const auto handleUpTo = [&](int count) {
        std::unique_lock guard(gate);
        allowed = count;
        moved.notify_all();
        moved.wait(guard, [&] { return static_cast<int>(seen.size()) == count; });
    };
    while (pushed < static_cast<int>(kDepth)) std::this_thread::yield();
    // The caller is to be waiting in its next push before a block is handled: one slow to get
    // there would find room and push a block more, and the test would wait for it forever.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    handleUpTo(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(pushed, static_cast<int>(kDepth));  // three queued: still full enough to wait
    handleUpTo(2);
    while (pushed < static_cast<int>(kDepth) + 2) std::this_thread::yield();
    handleUpTo(kBlocks);
    caller.join();
    EXPECT_TRUE(pipeline.Drain());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace tavrisk
