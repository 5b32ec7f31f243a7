// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <istream>

#include "mp2dec/FrameContent.h"
#include "mp2dec/FrameHeader.h"
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

// Validates every frame of a stream: sync, header, frame length with padding, field ranges,
// both check words, the multichannel extension and that no part runs beyond its frame.
class StreamChecker {
  public:
    struct Summary {
        long frames = 0;
        long withExtension = 0;
        long damaged = 0;
        // What the stream is, from its frames: the first frame's header, the first
        // extension's configuration, and every matrix procedure met (bit p for procedure p).
        FrameHeader firstHeader;
        ExtensionInfo firstExtension;
        unsigned procedures = 0;
        uint64_t extensionBytes = 0;  // in the extension frames read
        int multiLingualChannels = 0;  // the most any frame carries
        long samplesPerChannel = 0;
    };
    // Called after each frame with the bytes consumed so far.
    using Progress = std::function<void(uint64_t)>;

    Summary Check(std::istream& in, ProblemLog& log, const Progress& progress = {});
};

}  // namespace tavrisk::mp2dec
