// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "mp2enc/EncoderLog.h"
#include "mp2enc/FrameSink.h"

namespace tavrisk::mp2 {

// Packs fields of up to 32 bits, most significant bit first, and hands each frame's
// completed bytes to the sink when the frame ends. After the sink refused a frame
// WriteFailed() stays true and nothing more is handed.
class BitStream {
  public:
    static constexpr int kMaxWidth = 32;

    // Starts a stream into `sink`; `log` receives the over-width warning.
    void Start(FrameSink& frameSink, EncoderLog& messageLog);

    void PutBit(unsigned bit);
    // Puts the lowest `width` bits of `value`; wider requests are zero-extended.
    void PutBits(std::uint32_t value, int width);
    // Bits put since the start, completed bytes or not.
    std::uint32_t BitCount() const { return totalBits; }
    // Marks the end of a frame, at a byte boundary: the bytes completed so far go to the
    // sink. A partial byte would stay for the next frame.
    void EndFrame();
    bool WriteFailed() const { return failed; }

  private:
    void CompleteByte();

    FrameSink* sink = nullptr;
    EncoderLog* log = nullptr;
    std::vector<std::uint8_t> frameBytes;
    std::uint8_t byte = 0;  // being filled
    int bitIndex = 8;       // free bits left in that byte
    std::uint32_t totalBits = 0;
    bool failed = false;
};

}  // namespace tavrisk::mp2
