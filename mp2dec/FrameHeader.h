// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavrisk::mp2dec {

// The 32-bit header of one Layer II frame and what follows from it.
struct FrameHeader {
    static constexpr int kBytes = 4;
    static constexpr int kBits = 32;
    static constexpr int kCrcBits = 16;
    enum Mode { kStereo = 0, kJointStereo = 1, kDualChannel = 2, kSingleChannel = 3 };

    bool mpeg1 = true;
    bool crcPresent = false;
    int bitrateIndex = 0;
    int rateIndex = 0;
    bool padding = false;
    bool privateBit = false;
    int mode = kStereo;
    int modeExtension = 0;
    bool copyright = false;
    bool original = false;
    int emphasis = 0;

    int BitrateKbps() const;
    int SampleRate() const;
    int FrameBytes() const;
    int Channels() const { return mode == kSingleChannel ? 1 : 2; }
    // Allocation table of the compatible channels and its subband limit.
    int AllocTable() const;
    // Allocation table of the multichannel extension (by sampling rate).
    int ExtensionAllocTable() const;
    // First subband whose samples both channels share (joint stereo), else 32.
    int JointBound() const;
    // Bits before the allocation: header and, when present, the check word.
    int SideStartBit() const { return kBits + (crcPresent ? kCrcBits : 0); }
    // The 16 header bits the check word covers (bitrate index to emphasis).
    uint32_t CheckedBits() const;

    // Parses four bytes; nullopt with the reason when they are no Layer II header we read.
    static std::optional<FrameHeader> Parse(const uint8_t* bytes, std::string* why = nullptr);
    // True when two headers belong to the same stream (layer, version, rate, channels).
    bool SameStream(const FrameHeader& other) const;
};

}  // namespace tavrisk::mp2dec
