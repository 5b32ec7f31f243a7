// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "mp2dec/BitReader.h"
#include "mp2dec/ChannelCoding.h"
#include "mp2dec/FrameContent.h"
#include "mp2dec/FrameHeader.h"
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

// Reads the compatible (stereo) part of a frame: allocation, scale factor selection, check
// word, scale factors and samples, into positions 0 and 1 of the frame content.
class BaseLayerReader {
  public:
    // Leaves the reader at the first bit after the compatible samples. Returns false (after
    // logging why) when the part is damaged.
    bool Read(const uint8_t* frame, const FrameHeader& header, BitReader& reader,
              FrameContent& content, long frameNumber, ProblemLog& log);

  private:
    std::array<ChannelCoding, kCompatibleChannels> coding;
};

}  // namespace tavrisk::mp2dec
