// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2enc/EncoderTables.h"

namespace tavrisk::mp2 {

constexpr int kSubbandGroups = 12;
constexpr int kPredictionGroups = 8;
constexpr int kMaxPredictors = 6;

// Header fields of the compatible frame and of the multichannel extension.
struct MpegHeader {
    int version = 1;
    int layer = 2;
    int errorProtection = 0;
    int bitrateIndex = 0;
    int samplingFrequency = 1;
    int padding = 0;
    int extension = 0;
    int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel, 4 none
    int modeExt = 0;
    int copyright = 0;
    int original = 0;
    int emphasis = 0;
    int center = 0;  // 0 absent, 1 present, 3 limited bandwidth
    int surround = 0;
    int audioMix = 0;
    int dematrixProcedure = 0;
    int lfe = 0;
    int nAdBytes = 2;
    std::array<int, kPredictionGroups> mcPrediction{};
    std::array<int, kSubbandGroups> tcAlloc{};
    std::array<std::array<int, kMaxPredictors>, kPredictionGroups> mcPredsi{};
    std::array<std::array<int, kMaxPredictors>, kPredictionGroups> mcDelayComp{};
    std::array<std::array<std::array<int, 3>, kMaxPredictors>, kPredictionGroups> mcPredCoeff{};
    int mcPredictionOn = 0;
    int tcSbgrSelect = 1;
    int tcAllocation = 0;
    int dynCrossOn = 0;
    int dynCrossLR = 0;
    std::array<int, kSubbandGroups> dynCrossMode{};
    int copyrightIdentBit = 0;
    int copyrightIdentStart = 0;
    std::array<int, kSubbandGroups> dynSecondStereo{};
};

// Channel configuration 3/2: three front and two surround channels.
constexpr int kConfig32 = 320;

// Values of the `center` field, and the first subband a limited-bandwidth centre leaves out.
constexpr int kFullCentre = 1;
constexpr int kLimitedCentre = 3;
constexpr int kLimitedCentreFirstSubband = 12;

// Dematrix procedures with a form of their own: the surround difference, and no matrix.
constexpr int kProcedureSurroundDifference = 2;
constexpr int kProcedureNoMatrix = 3;

// The coding parameters of the run derived from the header.
struct FrameParams {
    int actualMode = 0;
    const AllocationTable* alloc = nullptr;    // compatible part
    const AllocationTable* allocMc = nullptr;  // multichannel part
    int tableNumber = -1;
    int tableNumberMc = -1;
    int stereo = 2;
    int stereoMc = 3;
    int stereoAug = 0;
    int lfePosition = 3;
    int jsBound = 0;
    double minMnr = 0.0;
    int sblimit = 0;
    int sblimitMc = 0;
    int centerLimited = 0;
    int config = kConfig32;
    bool multichannel = true;  // the frame carries the multichannel extension
};

// Channel slots of the encoder: the compatible pair, the extension channels, and copies
// of the unmatrixed left and right.
enum Slot : int { kSlotLo = 0, kSlotRo, kSlotC, kSlotLs, kSlotRs, kSlotL, kSlotR };
constexpr int kCodedSlots = 7;
constexpr int kChannelSlots = 14;
constexpr int kSlotsWithScfsi = 12;
constexpr int kParts = 3;
constexpr int kGranules = 12;
constexpr int kFrameSamples = 1152;
constexpr int kSamplesPerGranule = 32;

// Subband group of each subband (the groups of the transmission-channel allocation).
constexpr std::array<int, kSubbands> kSubbandGroup = {0,  1,  2,  3,  4,  5,  6,  7,  8,  8,  9,
                                                      9,  10, 10, 10, 10, 11, 11, 11, 11, 11, 11,
                                                      11, 11, 11, 11, 11, 11, 11, 11, 11, 11};

}  // namespace tavrisk::mp2
