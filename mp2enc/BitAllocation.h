// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mp2enc/CandidateSearch.h"
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
constexpr int kCandidates = CandidateSearch::kCapacity;

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
    // What one step from each allocation index of a subband row adds: its bits (without
    // scale factors) and the SNR it reaches; `last` is the highest index.
    struct RowSteps {
        int bits[kAllocationIndices - 1];
        double snr[kAllocationIndices];
        int last;
    };
    // One channel-subband the allocation chooses from.
    struct Candidate {
        const RowSteps* steps;
        double signalToMask;
        int increment;  // bits of the next step; the first's with scale factors and selection
        int width;      // slots a step raises: 2 for Lo with Ro of a paired subband
        int allocation;
        int slot;
        int subband;
        int partnerSlot;  // Ro when Lo is paired with it, else -1
        int* out;         // the frame's allocation of the slot
        int* partnerOut;  // and of Ro when paired
    };
    // Steps of the compatible (0) or multichannel (1) table, computed when the table changes.
    const RowSteps* StepsOf(int which, const AllocationTable& table);
    template <bool kInLanes>
    int Steps(int available, int verbosity, EncoderLog& messages);
    int StepsPlain(int available, int verbosity, EncoderLog& messages);
    [[gnu::target("avx2")]] int StepsAvx2(int available, int verbosity, EncoderLog& messages);

    const AllocationTable* stepsTable[2] = {nullptr, nullptr};
    RowSteps rowSteps[2][kSubbands];
    Candidate candidate[kCandidates];
    CandidateSearch candidates;
};

}  // namespace tavrisk::mp2
