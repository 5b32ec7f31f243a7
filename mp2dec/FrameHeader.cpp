// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/FrameHeader.h"

#include <array>

#include "mp2dec/Mp2Tables.h"

namespace tavrisk::mp2dec {

namespace {

constexpr uint32_t kSyncMask = 0xFFF00000u;
constexpr int kLayerTwoCode = 2;
constexpr int kFreeFormatIndex = 0;
constexpr int kBadBitrateIndex = 15;
constexpr int kReservedRateIndex = 3;
constexpr int kReservedEmphasis = 2;
constexpr int kSlotsPerKbit = 144000;  // 1152 samples / 8 bits, bitrate in kbit/s
constexpr std::array<int, 15> kBitratesKbps = {0,   32,  48,  56,  64,  80,  96, 112,
                                               128, 160, 192, 224, 256, 320, 384};
constexpr std::array<int, 3> kSampleRates = {44100, 48000, 32000};
constexpr int kLowRatePerChannelKbps = 48;
constexpr int kMidRatePerChannelKbps = 80;
constexpr int kJointBoundStep = 4;

void SetWhy(std::string* why, const char* text) {
    if (why) *why = text;
}

}  // namespace

int FrameHeader::BitrateKbps() const {
    return kBitratesKbps[bitrateIndex];
}

int FrameHeader::SampleRate() const {
    return kSampleRates[rateIndex];
}

int FrameHeader::FrameBytes() const {
    return kSlotsPerKbit * BitrateKbps() / SampleRate() + (padding ? 1 : 0);
}

int FrameHeader::AllocTable() const {
    const int perChannel = BitrateKbps() / Channels();
    if (perChannel <= kLowRatePerChannelKbps)
        return SampleRate() == 32000 ? kTableLowRate32 : kTableLowRate;
    if (perChannel <= kMidRatePerChannelKbps || SampleRate() == 48000) return kTableHighRate48;
    return kTableHighRate;
}

int FrameHeader::ExtensionAllocTable() const {
    return SampleRate() == 48000 ? kTableHighRate48 : kTableHighRate;
}

int FrameHeader::JointBound() const {
    return mode == kJointStereo ? kJointBoundStep * (modeExtension + 1) : kSubbands;
}

uint32_t FrameHeader::CheckedBits() const {
    return (static_cast<uint32_t>(bitrateIndex) << 12) | (rateIndex << 10) | (padding << 9) |
           (privateBit << 8) | (mode << 6) | (modeExtension << 4) | (copyright << 3) |
           (original << 2) | emphasis;
}

std::optional<FrameHeader> FrameHeader::Parse(const uint8_t* bytes, std::string* why) {
    const uint32_t word =
        (static_cast<uint32_t>(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    if ((word & kSyncMask) != kSyncMask) {
        SetWhy(why, "no frame sync");
        return std::nullopt;
    }
    FrameHeader h;
    h.mpeg1 = ((word >> 19) & 1) != 0;
    const int layer = (word >> 17) & 3;
    h.crcPresent = ((word >> 16) & 1) == 0;
    h.bitrateIndex = (word >> 12) & 15;
    h.rateIndex = (word >> 10) & 3;
    h.padding = ((word >> 9) & 1) != 0;
    h.privateBit = ((word >> 8) & 1) != 0;
    h.mode = (word >> 6) & 3;
    h.modeExtension = (word >> 4) & 3;
    h.copyright = ((word >> 3) & 1) != 0;
    h.original = ((word >> 2) & 1) != 0;
    h.emphasis = word & 3;
    if (layer != kLayerTwoCode) {
        SetWhy(why, "not a Layer II frame");
        return std::nullopt;
    }
    if (!h.mpeg1) {
        SetWhy(why, "half sampling rates are not supported");
        return std::nullopt;
    }
    if (h.bitrateIndex == kFreeFormatIndex) {
        SetWhy(why, "free-format bitrate is not supported");
        return std::nullopt;
    }
    if (h.bitrateIndex == kBadBitrateIndex) {
        SetWhy(why, "invalid bitrate index 15");
        return std::nullopt;
    }
    if (h.rateIndex == kReservedRateIndex) {
        SetWhy(why, "reserved sampling frequency");
        return std::nullopt;
    }
    if (h.emphasis == kReservedEmphasis) {
        SetWhy(why, "reserved emphasis");
        return std::nullopt;
    }
    const int kbps = h.BitrateKbps();
    if (h.mode == kSingleChannel ? kbps > 192 : (kbps < 64 || kbps == 80)) {
        SetWhy(why, "bitrate not allowed with this channel mode");
        return std::nullopt;
    }
    return h;
}

bool FrameHeader::SameStream(const FrameHeader& other) const {
    return mpeg1 == other.mpeg1 && rateIndex == other.rateIndex && Channels() == other.Channels();
}

}  // namespace tavrisk::mp2dec
