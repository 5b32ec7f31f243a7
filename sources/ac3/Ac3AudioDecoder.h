// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/LibavHandles.h"
#include "platform/PooledPacket.h"

namespace tavrisk::ac3 {

// Decodes the audio blocks of whole AC-3 sync frames with libavcodec: 1536 frames of six
// floats (full scale +-1.0) in the order L, C, R, LS, RS, LFE, with dynamic range
// compression off and no downmix. A frame of another channel layout fills the slots of
// its channels by position (2/0 into L and R, 1/0 into C, a single surround into both
// surrounds at -3 dB); the slots it lacks stay silent.
class Ac3AudioDecoder {
  public:
    static constexpr int kChannels = 6;

    // False when libavcodec has no AC-3 decoder or cannot open it.
    bool Open();
    // Decodes one frame into `out` (1536 x 6 floats). False when the frame does not decode
    // to 1536 frames of float planes.
    bool Decode(std::span<const uint8_t> frame, float* out);
    // A fresh decoder for a new stream: libavcodec's flush keeps the overlap of the last
    // block, which would leak into the first frame after a rewind.
    bool Restart() { return Open(); }

  private:
    // The plane of each slot (kNoPlane where the layout lacks it) and of a single surround.
    void MapChannels();
    void CopyPlanes(float* out) const;

    static constexpr int kNoPlane = -1;

    AvContextPtr context;
    AvFramePtr decoded;
    PooledPacket packet;
    std::array<int, kChannels> planeOfSlot{};
    int surroundPlane = kNoPlane;
};

}  // namespace tavrisk::ac3
