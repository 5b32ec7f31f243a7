// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <istream>
#include <span>
#include <vector>

#include "mp2dec/FrameHeader.h"
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

// Splits a byte stream into frames. A frame that follows its predecessor directly is taken
// as it is; after lost sync (and for the first frame) a header only counts when the next
// frame's header, or the end of the stream, follows it. An extension frame right after a
// frame belongs to it. Skipped bytes and a cut-off last frame are reported.
class FrameScanner {
  public:
    explicit FrameScanner(std::istream& in);

    // Moves to the next frame; false at the end of the stream.
    bool Next(ProblemLog& log);

    const FrameHeader& Header() const { return header; }
    const uint8_t* Data() const { return buffer.data() + frameStart; }
    std::size_t Size() const { return static_cast<std::size_t>(header.FrameBytes()); }
    // The extension frame that follows the current frame; empty when there is none.
    std::span<const uint8_t> ExtensionData() const {
        return {buffer.data() + frameStart + Size(), extensionSize};
    }
    // Number of the current frame, from 1.
    long FrameNumber() const { return frameNumber; }
    // Bytes of the input consumed up to the end of the current frame.
    uint64_t BytesDone() const { return consumedBefore + frameStart + Size() + extensionSize; }

  private:
    // Makes `count` bytes from `start` available; false when the stream ends first.
    bool Ensure(std::size_t count);
    bool Confirmed(const FrameHeader& candidate);
    // Size of a whole extension frame `offset` bytes after `start`, after a frame with
    // `frame`'s header, or 0.
    std::size_t ExtensionSizeAt(std::size_t offset, const FrameHeader& frame);
    void ReportSkipped(ProblemLog& log, bool atEnd);

    static constexpr std::size_t kChunk = 1 << 16;

    std::istream& in;
    std::vector<uint8_t> buffer;
    std::size_t start = 0;  // first unread byte in buffer
    std::size_t end = 0;    // end of valid bytes in buffer
    std::size_t frameStart = 0;
    std::size_t extensionSize = 0;
    uint64_t consumedBefore = 0;  // input bytes dropped from the buffer's front
    bool eof = false;
    bool inSync = false;
    bool haveFrame = false;
    uint64_t skipped = 0;
    long frameNumber = 0;
    FrameHeader header;
};

}  // namespace tavrisk::mp2dec
