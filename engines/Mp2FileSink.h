// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp2enc/FrameSink.h"
#include "platform/OutputFile.h"

namespace tavrisk {

// Writes the encoder's frames to a file, a buffer at a time. Every write is checked: after a
// failure WriteFailed() stays true, nothing more is written, and the file is cut back to the
// end of the last whole frame that reached it, so that it never ends in a partial frame.
//
// The file takes its name when closed (see OutputFile); destroyed or discarded before, it
// leaves any earlier file of that name untouched.
class Mp2FileSink : public mp2::FrameSink {
  public:
    static constexpr std::size_t kDefaultBufferSize = 4096;

    Mp2FileSink() = default;
    ~Mp2FileSink() override { Discard(); }
    Mp2FileSink(const Mp2FileSink&) = delete;
    Mp2FileSink& operator=(const Mp2FileSink&) = delete;

    // Creates `path` for writing; false when it cannot be created.
    bool Open(const std::string& path, std::size_t bufferSize = kDefaultBufferSize);
    bool IsOpen() const { return file.IsOpen(); }
    bool Write(std::span<const std::uint8_t> frame) override;

    // Writes every buffered frame and keeps the file, under the name `end` chooses (see
    // OutputFile). A file left without a byte (no frame came, or the first write failed) is
    // not kept, and an earlier file of that name stays. False when a write or the close
    // failed.
    bool Close(OutputEnd end = OutputEnd::kComplete);
    // Where Close put the file; empty when it kept none.
    const std::optional<KeptOutput>& Kept() const { return file.Kept(); }
    // Closes without keeping the file.
    void Discard();
    bool WriteFailed() const { return failed; }

  private:
    void Flush();
    // After a failed write: cuts the file to the last frame end that reached it.
    void CutToWholeFrames();

    OutputFile file;
    std::vector<std::uint8_t> buffer;
    std::size_t bufferLimit = kDefaultBufferSize;
    std::uint64_t fileBytes = 0;                // bytes written before the buffer's first
    std::vector<std::uint64_t> bufferedFrameEnds;  // in the file
    bool failed = false;
};

}  // namespace tavrisk
