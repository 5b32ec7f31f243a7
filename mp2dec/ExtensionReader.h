#pragma once

#include <array>

#include "mp2dec/BitReader.h"
#include "mp2dec/ChannelCoding.h"
#include "mp2dec/FrameContent.h"
#include "mp2dec/FrameHeader.h"
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

// Reads the multichannel extension that follows the compatible samples: its header, check
// word, composite status, LFE and the three further transmission channels of the 3/2
// configuration, into positions 2..4 and the LFE samples of the frame content.
class ExtensionReader {
  public:
    enum Result { kAbsent, kValid, kDamaged, kUnsupported };

    Result Read(const uint8_t* frame, const FrameHeader& header, BitReader& reader,
                FrameContent& content, long frameNumber, ProblemLog& log);

  private:
    // Header and composite status; false when the stream uses what we do not read.
    bool ReadStatus(BitReader& reader, ExtensionInfo& info, long frameNumber, ProblemLog& log);
    bool CheckTcAllocation(const ExtensionInfo& info, long frameNumber, ProblemLog& log) const;
    void ReadSamples(BitReader& reader, const FrameHeader& header, FrameContent& content,
                     std::string& error);

    static constexpr int kPositions = kTransmissionChannels - kCompatibleChannels;
    std::array<ChannelCoding, kPositions> coding;
    int lfeClass = ChannelCoding::kNone;
    double lfeScale = 0.0;
};

}  // namespace tavrisk::mp2dec
