// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

#include "mp2enc/BitStream.h"
#include "mp2enc/EncoderLog.h"
#include "mp2enc/LfeCoder.h"
#include "mp2enc/MpegHeader.h"
#include "mp2enc/Quantiser.h"
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
    // A channel slot and subband with samples in the frame, and its quantiser.
    struct CodedPosition {
        int slot = 0;
        int sb = 0;
        const AllocationEntry* entry = nullptr;
        const int* codes = nullptr;  // the codes of part 0, granule 0 (granules kSubbands apart)
    };
    using CodedPositions = std::array<CodedPosition, kChannelSlots * kSubbands>;

    // The positions with samples, in writing order; their count.
    template <typename ForEachPosition>
    int CodedPositionsOf(const FrameParams& params, const SubbandFrame& frame,
                         ForEachPosition&& forEach, CodedPositions& positions) const;
    // The codes of every coded slot's samples, and whether one reached its scale factor.
    void QuantiseFrame(const FrameParams& params, const SubbandFrame& frame);
    // Writes the codes of one triplet of granules at the positions.
    void WriteSamples(BitStream& bs, const CodedPosition* positions, int count,
                      const SubbandFrame& frame, int part, int triplet, bool multichannel,
                      EncoderLog& messages) const;
    // Reports the samples of one triplet at the positions that reached their scale factor.
    static void ReportUnscaled(const CodedPosition* positions, int count, const SubbandFrame& frame,
                               int part, int triplet, bool multichannel, EncoderLog& messages);

    // Taken anew for each frame, kept to spare the stack.
    CodedPositions compatibleCoded{};
    CodedPositions multichannelCoded{};
    SlotQuantisers quantisers{};
    SlotCodes codes[kCodedSlots]{};
    bool unscaled = false;
    std::size_t ancillaryPos = 0;
};

}  // namespace tavrisk::mp2
