// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PooledPacket.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "platform/Libav.h"

namespace tavrisk {
namespace {

// The storage of a pool's buffers, at least: an AC-3 frame's largest size and its padding.
constexpr std::size_t kSmallestPoolBytes = std::size_t{8} << 10;
// A packet's size is an int, its padding included.
constexpr std::size_t kLargestFrame = INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE;

}  // namespace

void PooledPacket::PoolFree::operator()(AVBufferPool* freed) const {
    // Buffers still held by a decoder stay valid; the pool goes with the last of them.
    Libav().av_buffer_pool_uninit(&freed);
}

PooledPacket::PooledPacket() = default;

PooledPacket::~PooledPacket() = default;

bool PooledPacket::PoolFits(std::size_t bytes) {
    if (pool && bytes <= poolBytes) return true;
    const std::size_t size = std::bit_ceil(std::max(bytes, kSmallestPoolBytes));
    pool.reset(Libav().av_buffer_pool_init(size, nullptr));
    poolBytes = pool ? size : 0;
    return pool != nullptr;
}

AVPacket* PooledPacket::Hold(std::span<const uint8_t> frame) {
    Release();
    if (frame.size() > kLargestFrame) return nullptr;
    const std::size_t bytes = frame.size() + AV_INPUT_BUFFER_PADDING_SIZE;
    if (!packet) {
        // Made on the first frame, when FFmpeg is loaded for its decoder.
        const LibavCalls* av = LoadLibav();
        if (av != nullptr) packet.reset(av->av_packet_alloc());
    }
    if (!packet || !PoolFits(bytes)) return nullptr;
    packet->buf = Libav().av_buffer_pool_get(pool.get());
    if (packet->buf == nullptr) return nullptr;
    packet->data = packet->buf->data;
    packet->size = static_cast<int>(frame.size());
    std::memcpy(packet->data, frame.data(), frame.size());
    std::memset(packet->data + frame.size(), 0, AV_INPUT_BUFFER_PADDING_SIZE);
    return packet.get();
}

void PooledPacket::Release() {
    if (packet) Libav().av_packet_unref(packet.get());
}

}  // namespace tavrisk
