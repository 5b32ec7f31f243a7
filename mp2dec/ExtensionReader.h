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

// Reads the multichannel extension that follows the compatible samples: its header, check
// word, composite status, LFE and the three further transmission channels of the 3/2
// configuration, into positions 2..4 and the LFE samples of the frame content.
// Stereo streams may carry other ancillary data there. So until one extension of the stream
// has passed its check word, an extension that fails it or uses what we do not read counts
// as foreign data (one warning, the stream is stereo); after that it is a damaged frame or a
// refused feature.
class ExtensionReader {
  public:
    enum Result { kAbsent, kValid, kDamaged, kUnsupported };

    Result Read(const uint8_t* frame, const FrameHeader& header, BitReader& reader,
                FrameContent& content, long frameNumber, ProblemLog& log);

  private:
    // Reads the header; returns why we cannot read the extension, or nothing.
    std::string ReadHeader(BitReader& reader, ExtensionInfo& info);
    // An extension we cannot use: `onceConfirmed` after a confirmed one, else foreign data.
    Result Unreadable(const std::string& why, Result onceConfirmed, ExtensionInfo& info,
                      long frameNumber, ProblemLog& log);
    bool CheckTcAllocation(const ExtensionInfo& info, long frameNumber, ProblemLog& log) const;
    void ReadSamples(BitReader& reader, const FrameHeader& header, FrameContent& content,
                     std::string& error);

    static constexpr int kPositions = kTransmissionChannels - kCompatibleChannels;
    std::array<ChannelCoding, kPositions> coding;
    int lfeClass = ChannelCoding::kNone;
    double lfeScale = 0.0;
    bool confirmed = false;  // an extension of this stream passed its check word
    bool foreignReported = false;
};

}  // namespace tavrisk::mp2dec
