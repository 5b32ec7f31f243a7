// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>

#include "mp2dec/Mp2Tables.h"

namespace tavrisk::mp2dec {

// Dequantised subband samples of one channel and frame: [sample 0..35][subband].
using SubbandBlock = std::array<std::array<double, kSubbands>, kSubbandSamples>;

inline constexpr int kCompatibleChannels = 2;
inline constexpr int kTransmissionChannels = 5;  // Lo, Ro and three extension channels
inline constexpr int kTcGroups = 12;
inline constexpr int kLfeSamples = kGranules;

// The multichannel header and composite status of one frame.
struct ExtensionInfo {
    bool present = false;
    int center = 0;
    int surround = 0;
    bool lfe = false;
    int dematrixProcedure = 0;
    std::array<int, kTcGroups> tcAlloc{};
    // The data continues in an extension frame of this many bytes (0: all in the frame).
    std::size_t extensionFrameBytes = 0;
    int multiLingualChannels = 0;  // carried after the five channels, not decoded
    bool predictionUsed = false;   // some subband group is coded with prediction
};

// Everything the decoder needs from one parsed frame.
struct FrameContent {
    int compatibleChannels = kCompatibleChannels;
    // Positions 0, 1: the compatible pair; 2..4: the extension's transmission channels.
    std::array<SubbandBlock, kTransmissionChannels> positions{};
    ExtensionInfo extension;
    std::array<double, kLfeSamples> lfe{};
    bool baseValid = false;
    bool extensionValid = false;
    bool extensionUnsupported = false;
    std::size_t bitsUsed = 0;
};

}  // namespace tavrisk::mp2dec
