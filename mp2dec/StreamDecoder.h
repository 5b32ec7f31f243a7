#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "mp2dec/FrameDecoder.h"
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

// Decodes a whole stream into a 16-bit WAV file: six channels L, C, R, LS, RS, LFE, or the
// compatible pair. Good frames are decoded whatever happens between them; damaged frames
// come out silent; a frame using features we do not decode stops the run.
class StreamDecoder {
  public:
    struct Summary {
        long frames = 0;
        long muted = 0;
        bool refused = false;
        bool writeFailed = false;
        bool stereoOnly = false;  // six channels asked, but no extension was found
        int sampleRate = 0;
    };
    using Progress = std::function<void(uint64_t)>;

    explicit StreamDecoder(bool compatiblePairOnly);

    // True when the output was written completely (problems in frames are in the log).
    bool Decode(std::istream& in, const std::string& outputPath, ProblemLog& log, Summary& summary,
                const Progress& progress = {});

  private:
    bool pairOnly;
    std::vector<int16_t> pcm;
    std::vector<uint8_t> bytes;  // the frame's samples as little-endian 16-bit values
};

}  // namespace tavrisk::mp2dec
