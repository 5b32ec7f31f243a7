// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mp2enc/CandidateTree.h"
#include "mp2enc/EncoderLog.h"
#include "mp2enc/MpegHeader.h"
#include "mp2enc/SubbandFrame.h"

namespace tavrisk::mp2 {

// Compatible allocation table for a bitrate per channel (kbit/s) and the sampling
// frequency truncated to whole kHz (44, 48 or 32).
int PickTable(int bitratePerChannel, int frequencyKhz);
// Multichannel allocation table: 0 at 48 kHz, 1 otherwise.
int PickTableMc(int frequencyKhz);

// Bits of the allocation fields of one frame.
int AllocationFieldBits(const FrameParams& params, const MpegHeader& header);
// Bits of the multichannel side information before the allocation fields.
int MultichannelSideBits(const MpegHeader& header, int config);

// Channel-subbands the allocation chooses from: 32 subbands x up to 5 positions, rounded
// up to a power of two.
constexpr int kCandidates = 256;

// Fixed reservation taken from every frame's budget before allocation; a frame without
// extension reserves its header.
constexpr int kReservedBits = 232;
constexpr int kHeaderBits = 32;

// SNR in dB of allocation index `index` of a subband row.
double AllocationSnr(const AllocationRowEntries& row, int index);

// The iterative Layer II allocation over the five transmission positions.
class BitAllocator {
  public:
    // Raises the SMR of Lo and Ro to the need of the channel a decoder derives from them.
    static void AdjustSignalToMask(SubbandFrame& frame, const FrameParams& params,
                                   const MpegHeader& header);

    // Allocates the frame's bits; `adb` enters as the bits left in the frame and leaves
    // reduced by everything allocated. Returns the bits available before allocation. In a
    // subband where Lo and Ro carry the same signal both get the same allocation.
    int Allocate(SubbandFrame& frame, const FrameParams& params, const MpegHeader& header,
                 int crcBits, long& adb, int verbosity, EncoderLog& messages);

  private:
    double maskToNoise[kSlotsWithScfsi][kSubbands];
    int used[kSlotsWithScfsi][kSubbands];
    CandidateTree<kCandidates> candidates;
};

}  // namespace tavrisk::mp2
