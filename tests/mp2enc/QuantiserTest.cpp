// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "mp2enc/Quantiser.h"

namespace tavrisk::mp2 {
namespace {

// A slot quantised subband by subband side by side gives QuantiseSample's codes, with one
// quantisation class per subband, samples over the whole range and at the code boundaries.
TEST(Quantiser, SlotCodesMatchTheSampleBySampleQuantiser) {
    AllocationTable table{};
    int allocation[kSubbands];
    int scaleIndex[kParts][kSubbands];
    for (int sb = 0; sb < kSubbands; ++sb) {
        allocation[sb] = sb % 18 == 17 ? 0 : 1;
        table[sb][1].quant = sb % kQuantClasses;
        for (int part = 0; part < kParts; ++part) scaleIndex[part][sb] = (7 * sb + part) % 60;
    }
    SlotSamples samples{};
    for (int part = 0; part < kParts; ++part) {
        for (int gr = 0; gr < kGranules; ++gr) {
            for (int sb = 0; sb < kSubbands; ++sb) {
                const double scale = kScaleFactorTable[scaleIndex[part][sb]];
                const double x = -0.998 + (gr * kParts + part) * (1.996 / 35) + sb * 1e-5;
                samples[part][gr][sb] = x * scale;
            }
        }
    }
    samples[0][0][0] = 0.0;
    samples[0][1][0] = -0.0;
    SlotQuantisers quantisers;
    PrepareQuantisers(table, allocation, scaleIndex, quantisers);
    SlotCodes codes{};
    EXPECT_FALSE(QuantiseSlot(samples, quantisers, kSubbands, codes));
    for (int part = 0; part < kParts; ++part) {
        for (int gr = 0; gr < kGranules; ++gr) {
            for (int sb = 0; sb < kSubbands; ++sb) {
                if (allocation[sb] == 0) continue;
                const double x = samples[part][gr][sb] / kScaleFactorTable[scaleIndex[part][sb]];
                ASSERT_EQ(codes[part][gr][sb], QuantiseSample(x, table[sb][1]))
                    << part << " " << gr << " " << sb;
            }
        }
    }
    // A sample at its scale factor is reported in a coded subband only.
    samples[2][11][17] = kScaleFactorTable[scaleIndex[2][17]];
    EXPECT_FALSE(QuantiseSlot(samples, quantisers, kSubbands, codes));
    samples[2][11][16] = -kScaleFactorTable[scaleIndex[2][16]];
    EXPECT_TRUE(QuantiseSlot(samples, quantisers, kSubbands, codes));
}

}  // namespace
}  // namespace tavrisk::mp2
