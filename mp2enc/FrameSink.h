// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

}  // namespace tavrisk::mp2
