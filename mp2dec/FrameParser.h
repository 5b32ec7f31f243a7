// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mp2dec/BaseLayerReader.h"
#include "mp2dec/ExtensionReader.h"

namespace tavrisk::mp2dec {

// Parses one whole frame: the compatible part and, when asked for, the multichannel
// extension in its ancillary area.
class FrameParser {
  public:
    // Fills `content`; problems go to the log under the frame's number. `extensionFrame`: the
    // extension frame that followed the frame, if any.
    void Parse(const uint8_t* frame, const FrameHeader& header, bool withExtension,
               FrameContent& content, long frameNumber, ProblemLog& log,
               std::span<const uint8_t> extensionFrame = {});

  private:
    BaseLayerReader base;
    ExtensionReader extension;
};

}  // namespace tavrisk::mp2dec
