// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/LibavHandles.h"

struct AVBufferPool;

namespace tavrisk {

// A codec frame handed to a libavcodec decoder in a reference-counted packet whose storage
// comes from a pool: the frame is copied once, with the zeroed padding the decoder may read
// past its end, and the decoder keeps a reference instead of allocating and copying a packet
// of its own. The storage returns to the pool when the decoder is done with it.
class PooledPacket {
  public:
    PooledPacket();
    ~PooledPacket();
    PooledPacket(const PooledPacket&) = delete;
    PooledPacket& operator=(const PooledPacket&) = delete;

    // The packet holding a copy of `frame`, valid until Release; nullptr when no storage
    // could be had.
    AVPacket* Hold(std::span<const uint8_t> frame);
    // Drops the packet's reference to the frame (the decoder keeps its own).
    void Release();

  private:
    struct PoolFree {
        void operator()(AVBufferPool* pool) const;
    };
    bool PoolFits(std::size_t bytes);

    AvPacketPtr packet;
    std::unique_ptr<AVBufferPool, PoolFree> pool;
    std::size_t poolBytes = 0;
};

}  // namespace tavrisk
