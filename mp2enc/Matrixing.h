// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mp2enc/SubbandFrame.h"

namespace tavrisk::mp2 {

// Downmix gains of one dematrix procedure: centre b, surround s, normalisation n.
struct MatrixCoefficients {
    double centre;
    double surround;
    double normalisation;
};

// Stored constants used by the time-domain matrix.
MatrixCoefficients TimeDomainCoefficients(int dematrixProcedure);
// The same gains computed with square roots, used in the subband domain.
MatrixCoefficients SubbandCoefficients(int dematrixProcedure);

// Subband samples of the five slots the filterbank fills (L, R, C, LS, RS).
using FilteredSlots = double[kSlotRs + 1][kParts][kGranules][kSubbands];

// Scales the 3/2 channels by their downmix gains (slots 0, 1 hold L and R here).
void ScaleForMatrix(SubbandFrame& frame, int dematrixProcedure);
// The same, taking the unscaled samples from `filtered` instead of from the frame.
void ScaleForMatrix(const FilteredSlots& filtered, SubbandFrame& frame, int dematrixProcedure);
// Copies the scaled L and R to slots 5 and 6 and forms Lo and Ro in slots 0 and 1;
// for a limited-bandwidth centre moves the centre above subband 11 into the others.
void MatrixSubbands(SubbandFrame& frame, int dematrixProcedure, int center);

}  // namespace tavrisk::mp2
