// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include "mp2enc/BitStream.h"
#include "mp2enc/EncoderLog.h"
#include "mp2enc/LfeCoder.h"
#include "mp2enc/MpegHeader.h"
#include "mp2enc/SubbandFrame.h"

namespace tavrisk::mp2 {

// Quantises the subband samples with the frame's allocation and writes one frame: the
// compatible Layer II frame, then the multichannel extension with its CRC.
class FrameWriter {
  public:
    static constexpr std::string_view kAncillaryText = "This bitstream use ancillary part.";

    // Writes the header, side information and samples of both parts (not the fill).
    void WriteFrame(BitStream& bs, const MpegHeader& header, const FrameParams& params,
                    const SubbandFrame& frame, const LfeCoder& lfe, EncoderLog& messages);

    // Writes `adb` fill bits: zeros, or with `text` zeros ending in one character of the
    // ancillary text in the frame's last byte. `frameBits` is the header's frame length.
    void WriteFill(BitStream& bs, long adb, bool text, long frameBits);

    // Restarts the ancillary text (start of a run).
    void Reset() { ancillaryPos = 0; }

    // The multichannel CRC of the frame as written by writeFrame.
    static std::uint16_t MultichannelCrc(const MpegHeader& header, const FrameParams& params,
                                         const SubbandFrame& frame);
    // The compatible-part CRC (only written with error protection).
    static std::uint16_t CompatibleCrc(const MpegHeader& header, const FrameParams& params,
                                       const SubbandFrame& frame);

  private:
    void WriteSamples(BitStream& bs, const FrameParams& params, const SubbandFrame& frame, int part,
                      int triplet, bool multichannel, const MpegHeader& header,
                      EncoderLog& messages);
    std::size_t ancillaryPos = 0;
};

}  // namespace tavrisk::mp2
