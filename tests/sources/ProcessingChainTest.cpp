// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sources/ProcessingChain.h"
#include "tests/support/BlockFrames.h"

namespace tavrisk {
namespace {

using test::kBlock;
using Delivery = ProcessingChain::Delivery;
using LastBlock = ProcessingChain::LastBlock;

// How the chain ends an input: the whole blocks it gives, then what the read after them
// gives (a last padded block, nothing, or a failure), with and without a stop.
TEST(ProcessingChain, TheEndOfAnInputGivesTheLastBlockNothingOrTheReason) {
    struct Case {
        const char* name;
        LastBlock last;
        std::size_t frames;
        int32_t resync;
        bool stopped;
        std::size_t wholeBlocks;
        Delivery end;
        const char* failure;
    };
    const Case cases[] = {
        {"exact", LastBlock::kPadded, 2 * kBlock, 0, false, 2, Delivery::kNone, ""},
        {"exact, one more", LastBlock::kPaddedAlways, 2 * kBlock, 0, false, 2, Delivery::kBlock,
         ""},
        {"exact, stopped", LastBlock::kPaddedAlways, 2 * kBlock, 0, true, 2, Delivery::kNone, ""},
        {"rest padded", LastBlock::kPadded, kBlock + 100, 0, false, 1, Delivery::kBlock, ""},
        {"inserted", LastBlock::kPadded, 100, 1200, false, 1, Delivery::kBlock, ""},
        {"skip too far", LastBlock::kPadded, 3000, -5000, false, 0, Delivery::kFailed,
         "The resync skip reaches past the end of 'in'"},
        {"skip, stopped", LastBlock::kPadded, 3000, -5000, true, 0, Delivery::kNone, ""},
        {"empty", LastBlock::kPaddedAlways, 0, 0, false, 0, Delivery::kFailed,
         "No samples to read in 'in'"},
        {"empty, stopped", LastBlock::kPaddedAlways, 0, 0, true, 0, Delivery::kNone, ""},
    };
    const std::vector<float> input(3000 * ProcessingChain::kChannels, 0.25f);
    for (const Case& c : cases) {
        ProcessingChain chain(ChannelJobSettings{}, c.last);
        ASSERT_FALSE(chain.Start("in", false, ResamplerKind::kLinear)) << c.name;
        chain.SetResync(c.resync);
        ASSERT_FALSE(chain.ApplyResync()) << c.name;
        SampleBlock block;
        std::optional<ChainFailure> failure;
        std::size_t whole = 0;
        for (std::size_t done = 0; done < c.frames; done += 1000) {
            chain.Push(input.data(), std::min<std::size_t>(1000, c.frames - done));
            while (chain.BlockReady() &&
                   chain.Deliver(block, c.stopped, failure) == Delivery::kBlock)
                ++whole;
        }
        chain.EndOfInput();
        EXPECT_EQ(whole, c.wholeBlocks) << c.name;
        EXPECT_EQ(chain.Deliver(block, c.stopped, failure), c.end) << c.name;
        EXPECT_EQ(failure ? failure->text : "", c.failure) << c.name;
    }
}

TEST(ProcessingChain, MoreSilenceThanCanBeInsertedIsRefused) {
    ProcessingChain chain(ChannelJobSettings{}, LastBlock::kPadded);
    ASSERT_FALSE(chain.Start("in", false, ResamplerKind::kLinear));
    chain.SetResync(ProcessingChain::kMaxInsertFrames + 1);
    const std::optional<ChainFailure> failure = chain.ApplyResync();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->text, "Resync overflow");
    EXPECT_FALSE(chain.ApplyResync()) << "told once";
}

// Every value of every frame lands in its row at its place, behind inserted silence that
// shifts the frames off any alignment, and in a padded last block, whether the frames come in
// the usual order or in a decoder's; the scaled copy holds each value of the block as a float
// times its scale.
TEST(ProcessingChain, BlocksHoldEachFrameInItsRows) {
    constexpr std::size_t kFrames = kBlock + 5, kInserted = 3, kValues = 30011;
    constexpr ChannelProcessor::FrameLayout kDecoderOrder = {0, 2, 1, 4, 5, 3};  // L R C LFE LS RS
    std::vector<float> input(kFrames * ProcessingChain::kChannels);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<float>(i % kValues) / ChannelProcessor::kFullScale;
    for (const ChannelProcessor::FrameLayout& order :
         {ProcessingChain::kUsualInputOrder, kDecoderOrder}) {
        ProcessingChain chain(ChannelJobSettings{}, LastBlock::kPadded);
        ASSERT_FALSE(chain.Start("in", false, ResamplerKind::kLinear));
        chain.SetInputOrder(order);
        chain.SetResync(kInserted);
        ASSERT_FALSE(chain.ApplyResync());
        chain.Push(input.data(), kFrames);
        chain.EndOfInput();
        SampleBlock block;
        std::optional<ChainFailure> failure;
        std::vector<float> copied(SampleBlock::kChannels * kBlock, -1.0f);
        ProcessingChain::ScaledCopy copy;
        copy.scale = 1.0f / 3.0f;
        for (std::size_t row = 0; row < SampleBlock::kChannels; ++row)
            copy.rows[row] = copied.data() + row * kBlock;
        for (std::size_t at = 0; chain.Deliver(block, false, failure, &copy) == Delivery::kBlock;) {
            for (std::size_t i = 0; i < kBlock; ++i, ++at) {
                for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
                    const std::size_t value = (at - kInserted) * ProcessingChain::kChannels +
                                              order[ProcessingChain::kInputOfColumn[row]];
                    const bool fed = at >= kInserted && at - kInserted < kFrames;
                    ASSERT_EQ(block.Row(row)[i], fed ? value % kValues : 0) << at << " " << row;
                    ASSERT_EQ(copy.rows[row][i], static_cast<float>(block.Row(row)[i]) * copy.scale)
                        << at << " " << row;
                }
            }
        }
    }
}

// The rate conversion hands its overshoot on with the fractions; the chain clips it to the
// 16-bit range and rounds it once, at its end.
TEST(ProcessingChain, ConvertedOvershootIsClippedAndRoundedAtTheEnd) {
    ProcessingChain chain(ChannelJobSettings{}, LastBlock::kPadded);
    ASSERT_FALSE(chain.Start("in", true, ResamplerKind::kSoxr));
    // A full-scale square wave rings past full scale once band-limited.
    std::vector<float> input(20000 * ProcessingChain::kChannels);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = (i / ProcessingChain::kChannels / 48) % 2 ? 1.0f : -1.0f;
    chain.Push(input.data(), input.size() / ProcessingChain::kChannels);
    chain.EndOfInput();
    SampleBlock block;
    std::optional<ChainFailure> failure;
    std::vector<double> values;
    while (chain.Deliver(block, false, failure) == Delivery::kBlock)
        values.insert(values.end(), block.values.begin(), block.values.end());
    EXPECT_EQ(*std::max_element(values.begin(), values.end()), 32767.0);
    EXPECT_EQ(*std::min_element(values.begin(), values.end()), -32768.0);
    EXPECT_TRUE(
        std::all_of(values.begin(), values.end(), [](double v) { return v == std::round(v); }));
}

}  // namespace
}  // namespace tavrisk
