// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mp2enc/SubbandFrame.h"

namespace tavrisk::mp2 {

// Index of the smallest scale factor strictly above `peak` (searched from 62 down);
// 0 when the peak reaches 2.0.
int ScaleIndexFor(double peak);

// Scale factor index of every part and subband below `limit` for slots [first, end);
// subbands from the limit up get 62.
void ScaleFactorCalc(SubbandFrame& frame, int firstSlot, int endSlot, int limit);

// Maximum scale per subband: the scale factor of the smallest index of the three parts
// below the slot's limit, 1e-20 above it.
void PickScale(SubbandFrame& frame, int stereo, int sblimit, int endSlot, int sblimitMc);

// Scale-factor selection information of the first 12 slots; merges the indices that
// are not transmitted.
void TransmissionPattern(SubbandFrame& frame);

// Number of scale factors sent for each scfsi value.
constexpr int kScaleFactorsSent[4] = {3, 2, 1, 2};

// Applies the selection pattern to one triplet of indices and returns the scfsi.
int SelectScaleFactors(int& s0, int& s1, int& s2);

}  // namespace tavrisk::mp2
