// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/LfeCoder.h"

#include <algorithm>
#include <cmath>

#include "mp2enc/Quantiser.h"
#include "mp2enc/ScaleFactors.h"

namespace tavrisk::mp2 {

void LfeCoder::Reset() {
    filter.Reset();
    lfeSample.fill(0.0);
    lfeCode.fill(0);
    scaleFactorIndex = 0;
}

void LfeCoder::LfeScaleFactor() {
    double peak = 0.0;
    for (double v : lfeSample) peak = std::max(peak, std::fabs(v));
    // Strictly below the scale factor, as for the main channels: a peak equal to a scale
    // factor would otherwise give the forbidden all-ones code.
    scaleFactorIndex = ScaleIndexFor(peak);
}

void LfeCoder::LfeQuantise(const AllocationEntry& entry, EncoderLog& messages) {
    const double scale = kScaleFactorTable[scaleFactorIndex];
    for (int i = 0; i < kSamples; ++i) {
        const double x = lfeSample[i] / scale;
        if (std::fabs(x) > 1.0) {
            messages.Report(FormatText("In LFE, not scaled properly  %d  %12.10e\n", i, x));
        }
        lfeCode[i] = QuantiseSample(x, entry);
    }
}

}  // namespace tavrisk::mp2
