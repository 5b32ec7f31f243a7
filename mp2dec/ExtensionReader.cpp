// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/ExtensionReader.h"

#include <span>
#include <string>

#include "mp2dec/ChannelConfigurations.h"
#include "mp2dec/Crc16.h"
#include "mp2dec/Dematrixer.h"
#include "mp2dec/ExtensionFrame.h"

namespace tavrisk::mp2dec {

namespace {

// Smallest extension: header (16), check word (16), composite status (3) and one 3-bit
// transmission channel allocation.
constexpr std::size_t kMinimumBits = 38;
constexpr int kDematrixMatrixSurround = 2;
constexpr int kDematrixNone = 3;
// The one allocation of 3/2 from which the two surrounds cannot be separated under the
// matrix-surround procedure: it carries C, L and R.
constexpr int kTcAllocCenterLeftRight = 5;
constexpr int kAncillaryCountBits = 8;
constexpr int kPredictorTapBits = 2;
constexpr int kDelayCompensationBits = 3;
constexpr int kPredictorCoefficientBits = 8;
// Room for the longest frame and the longest extension frame.
constexpr std::size_t kJoinedCapacity = 2048 + (std::size_t{1} << ExtensionFrame::kLengthBits);

bool RemainingBitsZero(const uint8_t* frame, const BitReader& reader) {
    for (std::size_t bit = reader.Position(); bit < reader.LimitBits(); ++bit)
        if ((frame[bit >> 3] >> (7 - (bit & 7))) & 1) return false;
    return true;
}

}  // namespace

ExtensionReader::ExtensionReader() {
    joined.reserve(kJoinedCapacity);
}

std::string ExtensionReader::ReadHeader(BitReader& reader, ExtensionInfo& info) {
    extensionFrameAnnounced = reader.Read(1) != 0;
    ancillaryBytes = extensionFrameAnnounced ? reader.Read(kAncillaryCountBits) : 0;
    info.center = static_cast<int>(reader.Read(2));
    info.surround = static_cast<int>(reader.Read(2));
    info.lfe = reader.Read(1) != 0;
    reader.Read(1);  // audio mix
    info.dematrixProcedure = static_cast<int>(reader.Read(2));
    info.multiLingualChannels = static_cast<int>(reader.Read(3));
    reader.Read(4);  // multilingual rate and layer, copyright identification
    return UnsupportedConfiguration(info);
}

std::string ExtensionReader::Join(const uint8_t* frame, const FrameHeader& header,
                                  std::size_t position, std::span<const uint8_t> extensionFrame,
                                  ExtensionInfo& info) {
    if (extensionFrame.empty()) return "the extension frame this frame announces is missing";
    if (!ExtensionFrame::CheckWordMatches(extensionFrame)) return "extension frame CRC mismatch";
    const auto frameBytes = static_cast<std::size_t>(header.FrameBytes());
    if (position + 8 * static_cast<std::size_t>(ancillaryBytes) > 8 * frameBytes)
        return "ancillary data count beyond the frame";
    joined.assign(frame, frame + frameBytes - ancillaryBytes);
    joined.insert(joined.end(), extensionFrame.begin() + ExtensionFrame::kHeaderBytes,
                  extensionFrame.end());
    info.extensionFrameBytes = extensionFrame.size();
    return {};
}

ExtensionReader::Result ExtensionReader::Unreadable(const std::string& why, Result onceConfirmed,
                                                    ExtensionInfo& info, long frameNumber,
                                                    ProblemLog& log) {
    if (confirmed) {
        if (onceConfirmed == kUnsupported)
            log.Warning(frameNumber, why);
        else
            log.Error(frameNumber, why);
        return onceConfirmed;
    }
    if (!foreignReported) {
        log.Warning(frameNumber,
                    "ancillary data is not a multichannel extension this decoder "
                    "reads (" +
                        why + "); the stream counts as stereo");
        foreignReported = true;
    }
    info = ExtensionInfo{};
    return kAbsent;
}

bool ExtensionReader::CheckTcAllocation(const ExtensionInfo& info, long frameNumber,
                                        ProblemLog& log) const {
    bool valid = true;
    const int firstLimitedGroup = Dematrixer::GroupOfSubband(kLimitedCentreFirstSubband);
    for (int g = 0; g < kTcGroups; ++g) {
        const int tc = info.tcAlloc[g];
        const bool bad = IsThreeTwo(info)
                             ? (info.dematrixProcedure == kDematrixNone && tc != 0) ||
                                   (info.dematrixProcedure == kDematrixMatrixSurround &&
                                    tc == kTcAllocCenterLeftRight)
                             : !TcAllocationUsable(info, tc);
        if (bad) {
            log.Error(frameNumber, "tc_allocation " + std::to_string(tc) + " in group " +
                                       std::to_string(g) + " is invalid with dematrix procedure " +
                                       std::to_string(info.dematrixProcedure));
            valid = false;
        } else if (IsLimitedCentre(info) && g >= firstLimitedGroup &&
                   !CentrePositionCarriesCentre(info, tc)) {
            log.Error(frameNumber, "tc_allocation " + std::to_string(tc) + " in group " +
                                       std::to_string(g) +
                                       " is invalid with a limited-bandwidth centre");
            valid = false;
        }
    }
    return valid;
}

bool ExtensionReader::ReadPredictionFlags(BitReader& reader) {
    bool used = false;
    for (auto& taps : predictorTaps) {
        taps.fill(0);
        if (reader.Read(1) == 0) continue;
        used = true;
        for (uint8_t& tap : taps) tap = static_cast<uint8_t>(reader.Read(kPredictorTapBits));
    }
    return used;
}

void ExtensionReader::SkipPredictionData(BitReader& reader) const {
    for (const auto& taps : predictorTaps)
        for (const uint8_t tap : taps) {
            if (tap == 0) continue;
            reader.Read(kDelayCompensationBits);
            for (int i = 0; i < tap; ++i) reader.Read(kPredictorCoefficientBits);
        }
}

void ExtensionReader::ReportSkipped(const ExtensionInfo& info, long frameNumber, ProblemLog& log) {
    if (info.multiLingualChannels > 0 && !multiLingualReported) {
        log.Warning(frameNumber, std::to_string(info.multiLingualChannels) +
                                     " multilingual channel(s) not decoded; skipped");
        multiLingualReported = true;
    }
    if (info.predictionUsed && !predictionReported) {
        log.Warning(frameNumber,
                    "multichannel prediction is not decoded; frames that use it give their "
                    "compatible pair");
        predictionReported = true;
    }
}

ExtensionReader::Result ExtensionReader::Read(const uint8_t* frame, const FrameHeader& header,
                                              std::span<const uint8_t> extensionFrame,
                                              BitReader& reader, FrameContent& content,
                                              long frameNumber, ProblemLog& log) {
    ExtensionInfo& info = content.extension;
    info = ExtensionInfo{};
    if (header.Channels() != kCompatibleChannels || reader.BitsLeft() < kMinimumBits ||
        RemainingBitsZero(frame, reader)) {
        if (!extensionFrame.empty())
            log.Error(frameNumber,
                      "extension frame after a frame without multichannel "
                      "extension; ignored");
        return kAbsent;
    }
    info.present = true;

    const std::size_t start = reader.Position();
    const std::string unsupported = ReadHeader(reader, info);
    if (!unsupported.empty()) return Unreadable(unsupported, kUnsupported, info, frameNumber, log);
    if (!extensionFrameAnnounced) {
        if (!extensionFrame.empty())
            log.Error(frameNumber, "extension frame not announced by its frame; ignored");
        return ReadBody(frame, header, reader, start, content, frameNumber, log);
    }
    const std::string why = Join(frame, header, reader.Position(), extensionFrame, info);
    if (!why.empty()) return Unreadable(why, kDamaged, info, frameNumber, log);
    BitReader joinedReader(joined.data(), joined.size());
    joinedReader.Skip(reader.Position());
    return ReadBody(joined.data(), header, joinedReader, start, content, frameNumber, log);
}

ExtensionReader::Result ExtensionReader::ReadBody(const uint8_t* data, const FrameHeader& header,
                                                  BitReader& reader, std::size_t start,
                                                  FrameContent& content, long frameNumber,
                                                  ProblemLog& log) {
    ExtensionInfo& info = content.extension;
    const std::size_t crcPosition = reader.Position();
    const uint32_t storedCrc = reader.Read(FrameHeader::kCrcBits);
    const bool groupwise = reader.Read(1) == 0;
    const bool dynCross = reader.Read(1) != 0;
    const bool prediction = reader.Read(1) != 0;
    const int tcBits = TcAllocationBits(info);
    if (groupwise) {
        for (int& tc : info.tcAlloc) tc = static_cast<int>(reader.Read(tcBits));
    } else {
        info.tcAlloc.fill(static_cast<int>(reader.Read(tcBits)));
    }
    if (dynCross)
        return Unreadable("dynamic cross-talk is not supported", kUnsupported, info, frameNumber,
                          log);
    info.predictionUsed = prediction && ReadPredictionFlags(reader);

    const int table = header.ExtensionAllocTable();
    const int limit = TableSubbandLimit(table);
    lfeClass = ChannelCoding::kNone;
    if (info.lfe) lfeClass = AllocationClass(table, 0, reader.Read(kAllocationWidth[table][0]));
    for (auto& c : coding) c.Clear();
    const std::span<ChannelCoding> carried(coding.data(), ExtensionChannels(info));
    // Above its limit a limited centre's channel is not carried at all.
    const int centreLimit = IsLimitedCentre(info) ? kLimitedCentreFirstSubband : limit;
    for (int sb = 0; sb < limit; ++sb)
        for (std::size_t p = sb < centreLimit ? 0 : 1; p < carried.size(); ++p)
            carried[p].ReadAllocation(reader, table, sb);
    for (int sb = 0; sb < limit; ++sb)
        for (auto& c : carried) c.ReadScfsi(reader, sb);

    Crc16 crc;
    crc.FeedRange(data, start, crcPosition);
    crc.FeedRange(data, crcPosition + FrameHeader::kCrcBits, reader.Position());
    const bool crcMatches = !reader.Overrun() && crc.Value() == storedCrc;
    if (!crcMatches && !confirmed)
        return Unreadable(
            reader.Overrun() ? "side information beyond the frame" : "multichannel CRC mismatch",
            kDamaged, info, frameNumber, log);
    bool valid = true;
    if (crcMatches) {
        confirmed = true;
        ReportSkipped(info, frameNumber, log);
    } else if (!reader.Overrun()) {
        log.Error(frameNumber, "multichannel CRC mismatch");
        valid = false;
    }
    valid = CheckTcAllocation(info, frameNumber, log) && valid;
    if (prediction) SkipPredictionData(reader);

    std::string error;
    if (lfeClass != ChannelCoding::kNone) {
        int index = static_cast<int>(reader.Read(ChannelCoding::kScaleBits));
        if (index >= kScaleFactorCount) {
            error = "invalid LFE scale factor index 63";
            index = kScaleFactorCount - 1;
        }
        lfeScale = ScaleFactor(index);
    }
    for (int sb = 0; sb < limit; ++sb)
        for (auto& c : carried) c.ReadScaleFactors(reader, sb, error);
    ReadSamples(reader, header, content, error);
    const bool clean = PartIsClean("multichannel", error, reader, frameNumber, log) && valid;
    if (clean && info.predictionUsed) return kUnsupported;
    return clean ? kValid : kDamaged;
}

void ExtensionReader::ReadSamples(BitReader& reader, const FrameHeader& header,
                                  FrameContent& content, std::string& error) {
    const int limit = TableSubbandLimit(header.ExtensionAllocTable());
    std::array<double, 3> values{};
    content.lfe.fill(0.0);
    for (int gr = 0; gr < kGranules; ++gr) {
        const int part = gr / kGranulesPerPart;
        if (lfeClass != ChannelCoding::kNone) {
            content.lfe[gr] = ReadSingleSample(reader, lfeClass, error) * lfeScale;
        }
        for (int sb = 0; sb < limit; ++sb) {
            for (int p = 0; p < kPositions; ++p) {
                const int quantClass = coding[p].QuantClassOf(sb);
                if (quantClass == ChannelCoding::kNone) continue;
                ReadSampleTriplet(reader, quantClass, values, error);
                const double scale = coding[p].Scale(part, sb);
                auto& block = content.positions[kCompatibleChannels + p];
                for (int s = 0; s < kSamplesPerGranule; ++s)
                    block[gr * kSamplesPerGranule + s][sb] = values[s] * scale;
            }
        }
    }
}

}  // namespace tavrisk::mp2dec
