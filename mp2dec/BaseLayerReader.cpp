// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/BaseLayerReader.h"

#include <algorithm>

#include "mp2dec/Crc16.h"
#include "mp2dec/SampleDequantiser.h"

namespace tavrisk::mp2dec {

bool BaseLayerReader::Read(const uint8_t* frame, const FrameHeader& header, BitReader& reader,
                           FrameContent& content, long frameNumber, ProblemLog& log) {
    const int channels = header.Channels();
    const int table = header.AllocTable();
    const int limit = TableSubbandLimit(table);
    const int bound = std::min(header.JointBound(), limit);
    content.compatibleChannels = channels;

    reader.Read(FrameHeader::kBits);
    const uint32_t storedCrc = header.crcPresent ? reader.Read(FrameHeader::kCrcBits) : 0;
    for (auto& c : coding) c.Clear();
    for (int sb = 0; sb < limit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (sb < bound || ch == 0)
                coding[ch].ReadAllocation(reader, table, sb);
            else
                coding[ch].CopyAllocation(coding[0], sb);
        }
    }
    for (int sb = 0; sb < limit; ++sb)
        for (int ch = 0; ch < channels; ++ch) coding[ch].ReadScfsi(reader, sb);

    bool valid = true;
    if (header.crcPresent) {
        Crc16 crc;
        crc.Feed(header.CheckedBits(), 16);
        crc.FeedRange(frame, static_cast<std::size_t>(header.SideStartBit()), reader.Position());
        if (!reader.Overrun() && crc.Value() != storedCrc) {
            log.Error(frameNumber, "CRC mismatch in the compatible part");
            valid = false;
        }
    }
    std::string error;
    for (int sb = 0; sb < limit; ++sb)
        for (int ch = 0; ch < channels; ++ch) coding[ch].ReadScaleFactors(reader, sb, error);

    // Every value of the channels is written: zero where a subband sends nothing.
    std::array<double, 3> values{};
    for (int gr = 0; gr < kGranules; ++gr) {
        const int part = gr / kGranulesPerPart;
        for (int sb = 0; sb < limit; ++sb) {
            for (int ch = 0; ch < channels; ++ch) {
                auto& block = content.positions[ch];
                const int quantClass = coding[ch].QuantClassOf(sb);
                if (quantClass == ChannelCoding::kNone) {
                    for (int s = 0; s < kSamplesPerGranule; ++s)
                        block[gr * kSamplesPerGranule + s][sb] = 0.0;
                    continue;
                }
                if (sb < bound || ch == 0) ReadTriplet(reader, quantClass, values, error);
                const double scale = coding[ch].Scale(part, sb);
                for (int s = 0; s < kSamplesPerGranule; ++s)
                    block[gr * kSamplesPerGranule + s][sb] = values[s] * scale;
            }
        }
    }
    for (int ch = 0; ch < channels; ++ch)
        for (auto& row : content.positions[ch]) std::fill(row.begin() + limit, row.end(), 0.0);
    return PartIsClean("compatible", error, reader, frameNumber, log) && valid;
}

}  // namespace tavrisk::mp2dec
