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
// standard order the channels (decoded as L, C, R, LS, RS, LFE or fewer) are stored in the
// order of their speaker bits, FL FR FC LFE BL BR BC, with their channel mask (a mono
// channel as plain PCM); in the film order as decoded, without one.
class WavFileSink : public mp2dec::SampleSink {
  public:
    explicit WavFileSink(std::string path, WavChannelOrder order = WavChannelOrder::kStandard)
        : path(std::move(path)), order(order) {}

    bool Start(int channels, int sampleRate) override;
    bool Start(const mp2dec::OutputLayout& layout, int sampleRate) override;
    bool Write(std::span<const int16_t> samples) override;
    std::string Name() const override { return path; }
    // Fixes up the sizes and closes; false when that failed. True when nothing was started.
    bool Finish() { return wav.Close(); }

  private:
    std::string path;
    WavChannelOrder order;
    // The channels are stored in another order than decoded: the decoded one of each.
    bool reorder = false;
    std::vector<std::size_t> decodedOfStored;
    WavWriter wav;
    std::vector<int16_t> ordered;  // the samples in the file's order, when reordered
    std::vector<uint8_t> bytes;    // on a big-endian machine, the samples as little-endian values
};

}  // namespace tavrisk
