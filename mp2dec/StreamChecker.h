#pragma once

#include <cstdint>
#include <functional>
#include <istream>

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
    };
    // Called after each frame with the bytes consumed so far.
    using Progress = std::function<void(uint64_t)>;

    Summary Check(std::istream& in, ProblemLog& log, const Progress& progress = {});
};

}  // namespace tavrisk::mp2dec
