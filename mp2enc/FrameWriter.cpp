// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/FrameWriter.h"

#include <cmath>

#include "mp2enc/Crc16.h"
#include "mp2enc/Quantiser.h"
#include "mp2enc/TcAllocation.h"

namespace tavrisk::mp2 {
namespace {

constexpr std::uint32_t kSyncword = 0xFFF;
constexpr int kTriplets = 4;
constexpr int kLfeEntry = 4;

// Calls fn(sb, slot) for the compatible channels in writing order.
template <typename Fn>
void ForEachCompatible(const FrameParams& params, Fn&& fn) {
    for (int sb = 0; sb < params.sblimit; ++sb) {
        const int channels = sb < params.jsBound ? params.stereo : 1;
        for (int ch = 0; ch < channels; ++ch) fn(sb, ch);
    }
}

// Calls fn(sb, slot) for the transmission positions of the extension in writing order.
template <typename Fn>
void ForEachMultichannel(const FrameParams& params, const MpegHeader& header, Fn&& fn) {
    const int first = params.stereo;
    const int end = params.stereo + params.stereoMc + params.stereoAug;
    for (int sb = 0; sb < params.sblimitMc; ++sb) {
        const int t = header.tcAlloc[kSubbandGroup[sb]];
        for (int k = first; k < end; ++k) {
            const int slot = TransmittedSlot(params.config, t, k);
            if (header.center == kLimitedCentre && slot == kSlotC &&
                sb >= kLimitedCentreFirstSubband)
                continue;
            fn(sb, slot);
        }
    }
}

const AllocationTable& TableOfSlot(const FrameParams& params, int slot) {
    return slot < params.stereo ? *params.alloc : *params.allocMc;
}

void PutZeros(BitStream& bs, long count) {
    for (; count >= BitStream::kMaxWidth; count -= BitStream::kMaxWidth) {
        bs.PutBits(0, BitStream::kMaxWidth);
    }
    if (count > 0) bs.PutBits(0, static_cast<int>(count));
}

// Feeds or writes the scale factors of one slot and subband by its scfsi.
template <typename Put>
void PutScaleFactors(const SubbandFrame& frame, int slot, int sb, Put&& put) {
    const int index[3] = {frame.scaleIndex[slot][0][sb], frame.scaleIndex[slot][1][sb],
                          frame.scaleIndex[slot][2][sb]};
    switch (frame.scfsi[slot][sb]) {
        case 0:
            put(index[0]);
            put(index[1]);
            put(index[2]);
            break;
        case 1:
        case 3:
            put(index[0]);
            put(index[2]);
            break;
        default:
            put(index[0]);
            break;
    }
}

// The fields of the extension header that the multichannel CRC covers, fed or written.
template <typename Put>
void PutMultichannelHeader(const MpegHeader& h, Put&& put) {
    put(0, 1);  // ext_bit_stream_present
    put(h.center, 2);
    put(h.surround, 2);
    put(h.lfe, 1);
    put(h.audioMix, 1);
    put(h.dematrixProcedure, 2);
    put(0, 3);  // no_of_multi_lingual_ch
    put(0, 1);  // multi_lingual_fs
    put(0, 1);  // multi_lingual_layer
    put(h.copyrightIdentBit, 1);
    put(h.copyrightIdentStart, 1);
}

template <typename Put>
void PutTcFields(const MpegHeader& h, int config, Put&& put) {
    put(h.tcSbgrSelect, 1);
    put(h.dynCrossOn, 1);
    put(h.mcPredictionOn, 1);
    const int w = TcAllocWidth(config);
    if (h.tcSbgrSelect) {
        put(h.tcAllocation, w);
    } else {
        for (int g = 0; g < kSubbandGroups; ++g) put(h.tcAlloc[g], w);
    }
}

template <typename Put>
void PutMultichannelSide(const MpegHeader& h, const FrameParams& params, const SubbandFrame& frame,
                         Put&& put) {
    if (h.lfe) put(LfeCoder::kAllocation, (*params.alloc)[0][0].bits);
    ForEachMultichannel(params, h, [&](int sb, int slot) {
        put(frame.bitAlloc[slot][sb], (*params.allocMc)[sb][0].bits);
    });
    ForEachMultichannel(params, h, [&](int sb, int slot) {
        if (frame.bitAlloc[slot][sb]) put(frame.scfsi[slot][sb], 2);
    });
}

template <typename Put>
void PutCompatibleSide(const FrameParams& params, const SubbandFrame& frame, Put&& put) {
    ForEachCompatible(
        params, [&](int sb, int ch) { put(frame.bitAlloc[ch][sb], (*params.alloc)[sb][0].bits); });
    ForEachCompatible(params, [&](int sb, int ch) {
        if (frame.bitAlloc[ch][sb]) put(frame.scfsi[ch][sb], 2);
    });
}

}  // namespace

std::uint16_t FrameWriter::MultichannelCrc(const MpegHeader& header, const FrameParams& params,
                                           const SubbandFrame& frame) {
    Crc16 crc;
    auto feed = [&](int value, int width) { crc.Update(static_cast<std::uint32_t>(value), width); };
    PutMultichannelHeader(header, feed);
    PutTcFields(header, params.config, feed);
    PutMultichannelSide(header, params, frame, feed);
    return crc.Value();
}

std::uint16_t FrameWriter::CompatibleCrc(const MpegHeader& header, const FrameParams& params,
                                         const SubbandFrame& frame) {
    Crc16 crc;
    crc.Update(static_cast<std::uint32_t>(header.bitrateIndex), 4);
    crc.Update(static_cast<std::uint32_t>(header.samplingFrequency), 2);
    crc.Update(static_cast<std::uint32_t>(header.padding), 1);
    crc.Update(static_cast<std::uint32_t>(header.extension), 1);
    crc.Update(static_cast<std::uint32_t>(header.mode), 2);
    crc.Update(static_cast<std::uint32_t>(header.modeExt), 2);
    crc.Update(static_cast<std::uint32_t>(header.copyright), 1);
    crc.Update(static_cast<std::uint32_t>(header.original), 1);
    crc.Update(static_cast<std::uint32_t>(header.emphasis), 2);
    PutCompatibleSide(params, frame, [&](int value, int width) {
        crc.Update(static_cast<std::uint32_t>(value), width);
    });
    return crc.Value();
}

void FrameWriter::WriteFrame(BitStream& bs, const MpegHeader& h, const FrameParams& params,
                             const SubbandFrame& frame, const LfeCoder& lfe, EncoderLog& messages) {
    auto put = [&](int value, int width) { bs.PutBits(static_cast<std::uint32_t>(value), width); };
    auto putScale = [&](int index) { put(index, 6); };

    put(kSyncword, 12);
    put(h.version, 1);
    put(4 - h.layer, 2);
    put(1 - h.errorProtection, 1);
    put(h.bitrateIndex, 4);
    put(h.samplingFrequency, 2);
    put(h.padding, 1);
    put(h.extension, 1);
    put(h.mode, 2);
    put(h.modeExt, 2);
    put(h.copyright, 1);
    put(h.original, 1);
    put(h.emphasis, 2);
    if (h.errorProtection) put(CompatibleCrc(h, params, frame), 16);

    PutCompatibleSide(params, frame, put);
    ForEachCompatible(params, [&](int sb, int ch) {
        if (frame.bitAlloc[ch][sb]) PutScaleFactors(frame, ch, sb, putScale);
    });
    QuantiseFrame(params, frame);
    const int compatibleCount = CodedPositionsOf(
        params, frame, [&](auto&& fn) { ForEachCompatible(params, fn); }, compatibleCoded);
    for (int part = 0; part < kParts; ++part) {
        for (int t = 0; t < kTriplets; ++t) {
            WriteSamples(bs, compatibleCoded.data(), compatibleCount, frame, part, t, false,
                         messages);
        }
    }

    if (!params.multichannel) return;
    PutMultichannelHeader(h, put);
    put(MultichannelCrc(h, params, frame), 16);
    PutTcFields(h, params.config, put);
    PutMultichannelSide(h, params, frame, put);
    if (h.lfe) put(lfe.ScaleIndex(), 6);
    ForEachMultichannel(params, h, [&](int sb, int slot) {
        if (frame.bitAlloc[slot][sb]) PutScaleFactors(frame, slot, sb, putScale);
    });
    const int lfeBits = (*params.allocMc)[0][kLfeEntry].bits;
    const int multichannelCount = CodedPositionsOf(
        params, frame, [&](auto&& fn) { ForEachMultichannel(params, h, fn); }, multichannelCoded);
    for (int part = 0; part < kParts; ++part) {
        for (int t = 0; t < kTriplets; ++t) {
            if (h.lfe) put(lfe.Codes()[part * kTriplets + t], lfeBits);
            WriteSamples(bs, multichannelCoded.data(), multichannelCount, frame, part, t, true,
                         messages);
        }
    }
}

template <typename ForEachPosition>
int FrameWriter::CodedPositionsOf(const FrameParams& params, const SubbandFrame& frame,
                                  ForEachPosition&& forEach, CodedPositions& positions) const {
    int count = 0;
    forEach([&](int sb, int slot) {
        const int a = frame.bitAlloc[slot][sb];
        if (a != 0) {
            positions[count++] = {slot, sb, &TableOfSlot(params, slot)[sb][a],
                                  &codes[slot][0][0][sb]};
        }
    });
    return count;
}

void FrameWriter::QuantiseFrame(const FrameParams& params, const SubbandFrame& frame) {
    unscaled = false;
    for (int slot = 0; slot < kCodedSlots; ++slot) {
        const int* allocation = frame.bitAlloc[slot];
        int subbands = kSubbands;
        while (subbands > 0 && allocation[subbands - 1] == 0) --subbands;
        if (subbands == 0) continue;
        PrepareQuantisers(TableOfSlot(params, slot), allocation, frame.scaleIndex[slot],
                          quantisers);
        unscaled |= QuantiseSlot(frame.samples[slot], quantisers, subbands, codes[slot]);
    }
}

void FrameWriter::ReportUnscaled(const CodedPosition* positions, int count,
                                 const SubbandFrame& frame, int part, int t, bool multichannel,
                                 EncoderLog& messages) {
    for (const CodedPosition* p = positions; p != positions + count; ++p) {
        const int slot = p->slot;
        const int sb = p->sb;
        const double scale = kScaleFactorTable[frame.scaleIndex[slot][part][sb]];
        for (int gr = 3 * t; gr < 3 * t + 3; ++gr) {
            const double sample = frame.samples[slot][part][gr][sb];
            if (std::fabs(sample / scale) < 1.0) continue;
            if (multichannel) {
                messages.Report(
                    FormatText("In MC, not scaled properly, %d %d %d %d\n", slot, part, gr, sb));
                messages.Report(FormatText("Value %1.10f\n", sample));
            } else {
                messages.Report(FormatText("In compatible part, not scaled properly, %d %d %d %d\n",
                                           slot, part, gr, sb));
                messages.Report(FormatText("Value %1.10f\n", sample));
                messages.Report(FormatText("Channel %d\n", slot));
            }
        }
    }
}

void FrameWriter::WriteSamples(BitStream& bs, const CodedPosition* positions, int count,
                               const SubbandFrame& frame, int part, int t, bool multichannel,
                               EncoderLog& messages) const {
    if (unscaled) ReportUnscaled(positions, count, frame, part, t, multichannel, messages);
    const int first = (part * kGranules + 3 * t) * kSubbands;
    for (const CodedPosition* p = positions; p != positions + count; ++p) {
        const auto c0 = static_cast<std::uint32_t>(p->codes[first]);
        const auto c1 = static_cast<std::uint32_t>(p->codes[first + kSubbands]);
        const auto c2 = static_cast<std::uint32_t>(p->codes[first + 2 * kSubbands]);
        const AllocationEntry& entry = *p->entry;
        const int bits = entry.bits;
        if (entry.group != 3) {
            bs.PutBits(
                static_cast<std::uint32_t>(GroupCodes(static_cast<int>(c0), static_cast<int>(c1),
                                                      static_cast<int>(c2), entry.steps)),
                bits);
        } else if (3 * bits <= BitStream::kMaxWidth) {
            // Three codes in one field: the same bits as one after the other.
            bs.PutBits((c0 << 2 * bits) | (c1 << bits) | c2, 3 * bits);
        } else {
            bs.PutBits(c0, bits);
            bs.PutBits((c1 << bits) | c2, 2 * bits);
        }
    }
}

void FrameWriter::WriteFill(BitStream& bs, long adb, bool text, long frameBits) {
    const long start = frameBits - adb;
    const long last = frameBits - 8;
    if (!text || start > last) {
        PutZeros(bs, adb);
        return;
    }
    long position = start;
    while (position % 8 != 0) {
        bs.PutBit(0);
        ++position;
    }
    while (position < last) {
        bs.PutBits(0, 8);
        position += 8;
    }
    int character = 0;
    if (ancillaryPos < kAncillaryText.size()) character = kAncillaryText[ancillaryPos++];
    bs.PutBits(static_cast<std::uint32_t>(character), 8);
}

}  // namespace tavrisk::mp2
