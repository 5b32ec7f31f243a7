// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "sources/ac3/Ac3FrameSizes.h"
#include "sources/ac3/Ac3Header.h"

namespace tavrisk::ac3 {

// Pulls exactly `length` raw bytes into `buffer`: null when they all came, kEndOfInput at the end
// of the input, otherwise the text of the error.
using ReadCallback = const char* (*)(uint8_t* buffer, int length);
inline constexpr const char* kEndOfInput = "EOF";

// The most bytes searched for the first frame of a stream (18 s of 448 kbit/s) before the
// input counts as holding no AC-3 stream at all.
inline constexpr std::size_t kFirstFrameSearchBytes = std::size_t{1} << 20;

// Finds AC-3 sync frames in a byte stream that it reads only through a read callback, and
// asks for exactly the bytes it needs, so nothing past the current frame is read ahead.
// Locked on a stream, it takes each frame where the last one ended; out of step (at the
// start, after garbage or a read error) it searches for the syncword and accepts a
// candidate only when both CRC words check, so stray syncwords are skipped. A locked frame
// whose size or rate differs from the last one's must check as well: a damaged size code
// would otherwise swallow the frames after it. The search for a stream's first frame ends
// after kFirstFrameSearchBytes. An input that ends inside a frame of the locked stream (its
// header in step with the last frame's, fewer bytes left than its size) ends the stream too,
// and is told apart from a clean end by EndedInsideFrame.
class Ac3FrameReader {
  public:
    enum class Result { kFrame, kEndOfStream, kReadError };

    // Consumes the frame returned last and finds the next one.
    Result Next(ReadCallback read);
    // Forgets buffered bytes and the lock, as after a rewind of the input.
    void Reset();

    // Valid after Next returned kFrame.
    std::span<const uint8_t> Frame() const { return {buffer.data() + begin, frameBytes}; }
    const Ac3Header& Header() const { return header; }
    // Bytes skipped while searching for the frame returned last.
    std::size_t SkippedBytes() const { return skipped; }
    // After kEndOfStream: the input ended inside a frame of the stream, and that frame's
    // header (valid only then).
    bool EndedInsideFrame() const { return cutFrame; }
    const Ac3Header& CutFrameHeader() const { return cutHeader; }
    // Text of the last read error.
    const char* ErrorText() const { return errorText; }

  private:
    static constexpr std::size_t kCapacity = 2 * kMaxFrameBytes;

    Result Fill(ReadCallback read, std::size_t count);
    std::size_t Available() const { return end - begin; }
    // A candidate that must check its CRC words before it is taken.
    bool NeedsCheck(const Ac3Header& candidate) const;
    // The candidate's rate or bit rate differs from the locked stream's.
    bool Changes(const Ac3Header& candidate) const;
    void DropByte();
    // Drops the bytes buffered before the next possible syncword.
    void DropToNextSyncByte();
    Result Fail(Result result);
    // Fails with `result`; at the end of the input, a frame (`cut`) of the stream cut short.
    Result EndInsideFrame(Result result, const Ac3Header& cut, bool ofTheStream);

    std::array<uint8_t, kCapacity> buffer{};
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t frameBytes = 0;
    std::size_t skipped = 0;
    bool locked = false;
    bool cutFrame = false;
    Ac3Header header;
    Ac3Header cutHeader;
    const char* errorText = nullptr;
};

}  // namespace tavrisk::ac3
