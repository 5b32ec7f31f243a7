// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mp2dec/StreamDecoder.h"
#include "platform/WavChannelOrder.h"
#include "platform/WavWriter.h"

namespace tavrisk {

// Writes decoded samples to a 16-bit WAV file, created when the first frame arrives. In the
// standard order six channels (decoded as L, C, R, LS, RS, LFE) are stored as FL FR FC LFE BL
// BR and two as FL FR, each with its channel mask; in the film order as decoded, without one.
class WavFileSink : public mp2dec::SampleSink {
  public:
    explicit WavFileSink(std::string path, WavChannelOrder order = WavChannelOrder::kStandard)
        : path(std::move(path)), order(order) {}

    bool Start(int channels, int sampleRate) override;
    bool Write(std::span<const int16_t> samples) override;
    std::string Name() const override { return path; }
    // Fixes up the sizes and closes; false when that failed. True when nothing was started.
    bool Finish() { return wav.Close(); }

  private:
    std::string path;
    WavChannelOrder order;
    // Six channels are stored in another order than decoded.
    bool reorder = false;
    WavWriter wav;
    std::vector<int16_t> ordered;  // the samples in the file's order, when reordered
    std::vector<uint8_t> bytes;    // the samples as little-endian 16-bit values
};

}  // namespace tavrisk
