// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "mp2enc/EncoderLog.h"
#include "mp2enc/FrameSink.h"

namespace tavrisk::mp2 {

// Packs fields of up to 32 bits, most significant bit first, into a 64-bit word that goes
// on to the frame 32 bits at a time, and hands each frame's completed bytes to the sink when
// the frame ends. After the sink refused a frame
// WriteFailed() stays true and nothing more is handed.
class BitStream {
  public:
    static constexpr int kMaxWidth = 32;

    // Starts a stream into `sink`; `log` receives the over-width warning.
    void Start(FrameSink& frameSink, EncoderLog& messageLog);

    void PutBit(unsigned bit);
    // Puts the lowest `width` bits of `value`; wider requests are zero-extended.
    void PutBits(std::uint32_t value, int width) {
        if (width <= 0 || width > kMaxWidth) {
            PutUnusualWidth(value, width);
            return;
        }
        totalBits += static_cast<std::uint32_t>(width);
        word = (word << width) | (value & (~std::uint64_t{0} >> (64 - width)));
        wordBits += width;
        if (wordBits >= 32) FlushWord();
    }
    // Bits put since the start, completed bytes or not.
    std::uint32_t BitCount() const { return totalBits; }
    // Marks the end of a frame, at a byte boundary: the bytes completed so far go to the
    // sink. A partial byte would stay for the next frame.
    void EndFrame();
    bool WriteFailed() const { return failed; }

  private:
    void PutUnusualWidth(std::uint32_t value, int width);
    // Hands the word's oldest 32 bits on to the frame.
    void FlushWord();
    // Hands the whole bytes of the word on to the frame.
    void FlushWholeBytes();

    FrameSink* sink = nullptr;
    EncoderLog* log = nullptr;
    std::vector<std::uint8_t> frameBytes;  // the frame's completed bytes are its first `used`
    std::size_t used = 0;
    std::uint64_t word = 0;  // the last `wordBits` bits put, fewer than 32 between calls
    int wordBits = 0;
    std::uint32_t totalBits = 0;
    bool failed = false;
};

}  // namespace tavrisk::mp2
