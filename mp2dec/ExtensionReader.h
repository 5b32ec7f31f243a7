// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "mp2dec/BitReader.h"
#include "mp2dec/ChannelCoding.h"
#include "mp2dec/FrameContent.h"
#include "mp2dec/FrameHeader.h"
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

// Reads the multichannel extension that follows the compatible samples: its header, check
// word, composite status, LFE and the three further transmission channels of the 3/2
// configuration, into positions 2..4 and the LFE samples of the frame content. Data that
// continues in an extension frame is read on from there. Multilingual channels after the
// five are skipped (said once); prediction is parsed and checked but not applied, so a frame
// that predicts counts as unsupported (said once).
// Stereo streams may carry other ancillary data there. So until one extension of the stream
// has passed its check word, an extension that fails it or uses what we do not read counts
// as foreign data (one warning, the stream is stereo); after that it is a damaged frame or a
// feature we do not decode (the frame then gives its compatible pair).
class ExtensionReader {
  public:
    enum Result { kAbsent, kValid, kDamaged, kUnsupported };

    ExtensionReader();

    // `extensionFrame`: the extension frame that followed the frame, if any.
    Result Read(const uint8_t* frame, const FrameHeader& header,
                std::span<const uint8_t> extensionFrame, BitReader& reader, FrameContent& content,
                long frameNumber, ProblemLog& log);

  private:
    // Reads the header; returns why we cannot read the extension, or nothing.
    std::string ReadHeader(BitReader& reader, ExtensionInfo& info);
    // Joins the frame's multichannel data and the extension frame's into `joined`; returns
    // why it cannot, or nothing.
    std::string Join(const uint8_t* frame, const FrameHeader& header, std::size_t position,
                     std::span<const uint8_t> extensionFrame, ExtensionInfo& info);
    // Everything after the header, from the check word on; `data` holds the bits `reader`
    // reads and `start` is where the header began.
    Result ReadBody(const uint8_t* data, const FrameHeader& header, BitReader& reader,
                    std::size_t start, FrameContent& content, long frameNumber, ProblemLog& log);
    // Reads the prediction flags; true when a group uses prediction.
    bool ReadPredictionFlags(BitReader& reader);
    void SkipPredictionData(BitReader& reader) const;
    // Says once what this decoder leaves out of the stream.
    void ReportSkipped(const ExtensionInfo& info, long frameNumber, ProblemLog& log);
    // An extension we cannot use: `onceConfirmed` after a confirmed one, else foreign data.
    Result Unreadable(const std::string& why, Result onceConfirmed, ExtensionInfo& info,
                      long frameNumber, ProblemLog& log);
    bool CheckTcAllocation(const ExtensionInfo& info, long frameNumber, ProblemLog& log) const;
    void ReadSamples(BitReader& reader, const FrameHeader& header, FrameContent& content,
                     std::string& error);

    static constexpr int kPositions = kTransmissionChannels - kCompatibleChannels;
    std::array<ChannelCoding, kPositions> coding;
    static constexpr int kPredictionGroups = 8;
    static constexpr int kPredictors = 6;  // of 3/2 without dynamic cross-talk
    std::array<std::array<uint8_t, kPredictors>, kPredictionGroups> predictorTaps{};
    std::vector<uint8_t> joined;  // frame and extension frame data, when split
    bool extensionFrameAnnounced = false;
    uint32_t ancillaryBytes = 0;  // at the end of the frame, when split
    int lfeClass = ChannelCoding::kNone;
    double lfeScale = 0.0;
    bool confirmed = false;  // an extension of this stream passed its check word
    bool foreignReported = false;
    bool multiLingualReported = false;
    bool predictionReported = false;
};

}  // namespace tavrisk::mp2dec
