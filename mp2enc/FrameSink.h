// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavrisk::mp2 {

// Where the encoder hands its output: one whole frame per call, in stream order. False when
// the frame could not be kept; the encoder then hands no more.
class FrameSink {
  public:
    virtual ~FrameSink() = default;
    virtual bool Write(std::span<const std::uint8_t> frame) = 0;
};

// Keeps the frames in memory, one after the other.
class MemoryFrameSink : public FrameSink {
  public:
    bool Write(std::span<const std::uint8_t> frame) override {
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        return true;
    }
    std::vector<std::uint8_t> bytes;
};

// Keeps the frames in memory with their bounds, in one buffer that keeps its room when
// cleared: frames held and handed on over and over allocate nothing once it has grown.
class HeldFrames : public FrameSink {
  public:
    bool Write(std::span<const std::uint8_t> frame) override {
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        ends.push_back(bytes.size());
        return true;
    }
    void Clear() {
        bytes.clear();
        ends.clear();
    }
    std::size_t Count() const { return ends.size(); }
    std::span<const std::uint8_t> Frame(std::size_t index) const {
        const std::size_t start = index == 0 ? 0 : ends[index - 1];
        return std::span(bytes).subspan(start, ends[index] - start);
    }

  private:
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> ends;  // where each frame ends in `bytes`
};

}  // namespace tavrisk::mp2
