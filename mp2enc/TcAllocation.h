// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2enc/EncoderRandom.h"
#include "mp2enc/MpegHeader.h"

namespace tavrisk::mp2 {

constexpr int kTcAllocAdaptive = -2;
constexpr int kTcAllocRandom = -1;
constexpr int kTcAllocValues = 8;  // 3/2 configuration
constexpr int kTransmissionPositions = 5;
// tcAlloc 5 carries C, L and R: under the surround-difference procedure no surround can
// then be recovered; tcAlloc 3 (C, L, RS) stands in for it.
constexpr int kCentreAndBothFronts = 5;
constexpr int kCentreLeftRightSurround = 3;

// Width of a tc_allocation field for a channel configuration (0 without one).
int TcAllocWidth(int config);

// For the 3/2 configuration, the slot carried by transmission position k under tcAlloc t.
extern const std::array<std::array<int, kTransmissionPositions>, kTcAllocValues> kTcSlots;

// Slot carried by position k in a subband group of tcAlloc t.
int TransmittedSlot(int config, int tcAlloc, int position);

// Values the tc_allocation field takes for a configuration (1 without a field).
int TcAllocValues(int config);

// For configurations other than 3/2: whether a decoder can recover every channel from Lo,
// Ro and what tcAlloc transmits under the procedure, and the slot it derives from Lo
// (compatible 0) or Ro (compatible 1).
bool OtherConfigurationDematrixable(int config, int tcAlloc, int dematrixProcedure);
int DerivedSlot(int config, int tcAlloc, int compatible);

// True when a decoder can recover all five channels from Lo, Ro and the three
// transmitted channels of tcAlloc under the given dematrix procedure.
bool TcAllocDematrixable(int tcAlloc, int dematrixProcedure);

// The adaptive choice of one subband group from the maximum scales of C, LS, RS, L, R.
int AdaptiveTcAlloc(double centre, double leftSurround, double rightSurround, double left,
                    double right);

// Sets tcAlloc, tcSbgrSelect and tcAllocation of the frame for a configuration.
// maxScale is indexed by slot and subband; choice is adaptive, random (drawn from `random`)
// or a fixed value.
void ChooseTcAlloc(MpegHeader& header, const double (*maxScale)[kSubbands], int choice,
                   EncoderRandom& random, int config = kConfig32);

}  // namespace tavrisk::mp2
