// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "platform/PooledPacket.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tavrisk {
namespace {

// Each frame is held whole with zeroed padding, in storage a decoder may keep a reference to:
// the frames it still holds are not overwritten by the next ones, nor by a longer one's.
TEST(PooledPacket, FramesStayIntactWhileTheDecoderHoldsThem) {
    PooledPacket pooled;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<AVPacket*> kept;
    for (const std::size_t size : {1792, 1792, 40000, 17}) {
        std::vector<uint8_t>& frame = frames.emplace_back(size + AV_INPUT_BUFFER_PADDING_SIZE);
        for (std::size_t i = 0; i < size; ++i) frame[i] = static_cast<uint8_t>(frames.size() + i);
        const AVPacket* held = pooled.Hold({frame.data(), size});
        ASSERT_TRUE(held != nullptr && held->buf != nullptr);
        ASSERT_EQ(held->size, static_cast<int>(size));
        kept.push_back(av_packet_clone(held));
        pooled.Release();
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(std::vector<uint8_t>(kept[i]->data, kept[i]->data + frames[i].size()), frames[i]);
        av_packet_free(&kept[i]);
    }
}

}  // namespace
}  // namespace tavrisk
