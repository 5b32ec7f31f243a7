#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/OutputFile.h"

namespace tavrisk::mp2 {

// Packs fields of up to 32 bits, most significant bit first, and writes the completed
// bytes to the output file in the order they were produced, a buffer at a time. Every write
// is checked: after a failure WriteFailed() stays true, nothing more is written, and the
// file is cut back to the end of the last whole frame that reached it (the frame ends are
// marked by the writer of the frames), so that it never ends in a partial frame.
//
// The file takes its name when closed (see OutputFile); destroyed or discarded before, it
// leaves any earlier file of that name untouched.
class BitStream {
  public:
    static constexpr int kMaxWidth = 32;
    static constexpr std::size_t kDefaultBufferSize = 4096;

    BitStream() = default;
    ~BitStream() { Discard(); }
    BitStream(const BitStream&) = delete;
    BitStream& operator=(const BitStream&) = delete;

    // Creates `path` for writing; false (after "Could not create" on `messages`) when it
    // cannot be created. `messages` also receives the over-width warning.
    bool Open(const std::string& path, std::size_t bufferSize, std::FILE* messages);
    bool IsOpen() const { return file.IsOpen(); }

    void PutBit(unsigned bit);
    // Puts the lowest `width` bits of `value`; wider requests are zero-extended.
    void PutBits(std::uint32_t value, int width);
    // Bits put since open, completed bytes or not.
    std::uint32_t BitCount() const { return totalBits; }
    // Marks the end of a frame, at a byte boundary: the bytes completed so far are whole
    // frames.
    void EndFrame();

    // Writes every completed byte and keeps the file, under the name `end` chooses (see
    // OutputFile). A partial last byte is dropped. A file left without a byte (nothing was
    // put, or the first write failed) is not kept, and an earlier file of that name stays.
    // False when a write or the close failed.
    bool Close(OutputEnd end = OutputEnd::kComplete);
    // Where close put the file; empty when it kept none.
    const std::optional<KeptOutput>& Kept() const { return file.Kept(); }
    // Closes without keeping the file.
    void Discard();
    bool WriteFailed() const { return failed; }

  private:
    void CompleteByte();
    void Flush();
    // After a failed write: cuts the file to the last frame end that reached it.
    void CutToWholeFrames();

    OutputFile file;
    std::FILE* messages = stdout;
    std::vector<std::uint8_t> buffer;
    std::size_t byteIndex = 0;  // byte being filled
    int bitIndex = 8;           // free bits left in that byte
    std::uint32_t totalBits = 0;
    std::uint64_t fileBytes = 0;            // bytes written before the buffer's first
    std::uint64_t lastWrittenFrameEnd = 0;  // in the file
    std::vector<std::uint64_t> bufferedFrameEnds;
    bool failed = false;
};

}  // namespace tavrisk::mp2
