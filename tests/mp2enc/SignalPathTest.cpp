// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "mp2enc/AnalysisFilterbank.h"
#include "mp2enc/LfeCoder.h"
#include "mp2enc/Matrixing.h"

namespace tavrisk::mp2 {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(AnalysisFilterbank, MatrixIsRoundedToNineDecimals) {
    AnalysisFilterbank bank;
    EXPECT_DOUBLE_EQ(bank.Matrix(0, 16), 1.0);
    EXPECT_DOUBLE_EQ(bank.Matrix(0, 0), 0.707106781);  // cos(pi / 4), rounded
    EXPECT_EQ(bank.Matrix(31, 48), 0.0) << "cos(31.5 pi) rounds to exactly 0";
    EXPECT_DOUBLE_EQ(bank.Matrix(1, 0), -0.707106781);  // cos(3 pi / 4)
}

// Energy per subband of a sine analysed over `granules` granules, after the warm-up.
std::vector<double> SubbandEnergy(double frequency, int rate, int granules) {
    AnalysisFilterbank bank;
    std::vector<double> input(32 * granules);
    for (std::size_t i = 0; i < input.size(); ++i) {
        input[i] = 16000.0 * std::sin(2 * kPi * frequency * i / rate);
    }
    std::vector<double> energy(32, 0.0);
    const double* p = input.data();
    double out[32];
    for (int g = 0; g < granules; ++g) {
        bank.Analyse(0, p, out);
        if (g < 20) continue;
        for (int sb = 0; sb < 32; ++sb) energy[sb] += out[sb] * out[sb];
    }
    return energy;
}

TEST(AnalysisFilterbank, ASineLandsInItsSubband) {
    // Subband width at 48 kHz is 750 Hz: 5625 Hz is the middle of subband 7.
    const auto energy = SubbandEnergy(5625.0, 48000, 200);
    for (int sb = 0; sb < 32; ++sb) {
        if (sb == 7) continue;
        EXPECT_LT(energy[sb], energy[7] * 1e-4) << sb;
    }
    // A full-scale-ish sine of amplitude 16000/32768 gives subband peaks of about that size.
    AnalysisFilterbank bank;
    std::vector<double> zeros(32 * 40, 0.0);
    const double* p = zeros.data();
    double out[32];
    for (int g = 0; g < 40; ++g) {
        bank.Analyse(3, p, out);
        for (double v : out) EXPECT_EQ(v, 0.0);
    }
}

// Analyse computes in single precision. Each subband sample is a sum of 512 products reached
// through about 26 roundings (eight column terms, the fold, sixteen matrix terms, the tables'
// own rounding to float), each within 2^-24 of what it rounds: the sample lies within
// 26 * 2^-24 (< 2e-6) of the sum of its terms' magnitudes. That is 114 dB below the terms,
// finer than the 16-bit input's own quantisation (96 dB below full scale) and than any
// quantiser step the bit allocation can choose.
constexpr double kSinglePrecisionBound = 2e-6;

// The sum of the magnitudes of the terms of subband sample `i` from 512 windowed values.
double TermMagnitude(const AnalysisFilterbank& bank, const double* windowed, int i) {
    double magnitude = 0.0;
    for (int k = 0; k < 64; ++k) {
        double column = 0.0;
        for (int j = 0; j < 8; ++j) column += std::fabs(windowed[k + 64 * j]);
        magnitude += std::fabs(bank.Matrix(i, k)) * column;
    }
    return magnitude;
}

TEST(AnalysisFilterbank, CombinedStepGivesTheStepwiseResults) {
    AnalysisFilterbank stepwise;
    AnalysisFilterbank combined;
    std::vector<double> input(32 * 100);
    for (std::size_t i = 0; i < input.size(); ++i) {
        input[i] = std::round(12000.0 * std::sin(0.01 * i * i) + 300.0 * std::cos(0.7 * i));
    }
    const double* a = input.data();
    const double* b = input.data();
    double windowed[512], expected[32], actual[32];
    for (int g = 0; g < 100; ++g) {
        stepwise.WindowSubband(2, a, windowed);
        stepwise.FilterSubband(windowed, expected);
        combined.Analyse(2, b, actual);
        for (int sb = 0; sb < 32; ++sb) {
            ASSERT_NEAR(actual[sb], expected[sb],
                        kSinglePrecisionBound * TermMagnitude(stepwise, windowed, sb))
                << g << " " << sb;
        }
    }
    EXPECT_EQ(a, b);
}

// Granules analysed in runs (two at a time, an odd one last) give what Analyse gives granule
// by granule, bit for bit, through many turns of the history and from runs mixed with single
// granules.
TEST(AnalysisFilterbank, RunsOfGranulesGiveTheSingleGranuleResults) {
    for (const int run : {1, 2, 5, 12}) {
        AnalysisFilterbank single;
        AnalysisFilterbank runs;
        std::vector<double> input(32 * 12 * 20);
        for (std::size_t i = 0; i < input.size(); ++i) {
            input[i] = std::round(15000.0 * std::sin(0.003 * i * (1 + i % 5)) + 9.0 * (i % 13));
        }
        const double* a = input.data();
        const double* b = input.data();
        std::vector<double> expected(input.size());
        std::vector<double> actual(input.size());
        for (std::size_t g = 0; g < input.size() / 32; ++g) single.Analyse(4, a, &expected[32 * g]);
        auto* out = reinterpret_cast<double(*)[32]>(actual.data());
        for (std::size_t g = 0; g < input.size() / 32;) {
            runs.Analyse(4, b, out[g++]);  // a single granule between runs shifts the pairs
            const int count = std::min<int>(run, static_cast<int>(input.size() / 32 - g));
            runs.AnalyseGranules(4, b, count, out + g);
            g += count;
        }
        EXPECT_EQ(a, b);
        for (std::size_t i = 0; i < input.size(); ++i)
            ASSERT_EQ(actual[i], expected[i]) << run << " " << i;
    }
}

// The folded transform against the plain 32 x 64 matrix product of the windowed column sums,
// for signals from silence-like to full scale.
TEST(AnalysisFilterbank, FoldedTransformMatchesThePlainMatrixProduct) {
    for (const double amplitude : {1.0, 300.0, 32767.0}) {
        AnalysisFilterbank plain;
        AnalysisFilterbank fast;
        std::vector<double> input(32 * 40);
        unsigned state = 12345;
        for (double& v : input) {
            state = state * 1103515245u + 12345u;
            v = std::round(amplitude * ((state >> 8) / 8388608.0 - 1.0));
        }
        const double* a = input.data();
        const double* b = input.data();
        double windowed[512], actual[32];
        for (int g = 0; g < 40; ++g) {
            plain.WindowSubband(1, a, windowed);
            fast.Analyse(1, b, actual);
            for (int i = 0; i < 32; ++i) {
                double expected = 0.0;
                for (int k = 0; k < 64; ++k) {
                    double column = 0.0;
                    for (int j = 0; j < 8; ++j) column += windowed[k + 64 * j];
                    expected += plain.Matrix(i, k) * column;
                }
                ASSERT_NEAR(actual[i], expected,
                            kSinglePrecisionBound * TermMagnitude(plain, windowed, i) + 1e-300)
                    << amplitude << " " << g << " " << i;
            }
        }
    }
}

TEST(Matrixing, CoefficientsPerDematrixProcedure) {
    const double inv = 1.0 / std::sqrt(2.0);
    for (int proc : {0, 2}) {
        const auto t = TimeDomainCoefficients(proc);
        EXPECT_DOUBLE_EQ(t.centre, inv);
        EXPECT_DOUBLE_EQ(t.surround, inv);
        EXPECT_DOUBLE_EQ(t.normalisation, 1.0 / (1.0 + std::sqrt(2.0)));
    }
    const auto one = SubbandCoefficients(1);
    EXPECT_DOUBLE_EQ(one.surround, 0.5);
    EXPECT_DOUBLE_EQ(one.normalisation, 1.0 / (1.5 + 0.5 * std::sqrt(2.0)));
    EXPECT_DOUBLE_EQ(TimeDomainCoefficients(1).normalisation, 0.45308183932197284321);
    const auto three = SubbandCoefficients(3);
    EXPECT_EQ(three.centre, 1.0);
    EXPECT_EQ(three.surround, 1.0);
    EXPECT_EQ(three.normalisation, 1.0);
}

TEST(Matrixing, CentreOnlyFrameIsSentScaledInTheSubbands) {
    auto frame = std::make_unique<SubbandFrame>();
    frame->samples[kSlotC][1][4][9] = 1000.0;
    frame->samples[kSlotLo][0][0][0] = 0.0;
    ScaleForMatrix(*frame, 0);
    MatrixSubbands(*frame, 0, 1);
    const double expected = 0.29289321881345254 * 1000.0;
    EXPECT_NEAR(frame->samples[kSlotLo][1][4][9], expected, 1e-9);
    EXPECT_NEAR(frame->samples[kSlotRo][1][4][9], expected, 1e-9);
    EXPECT_NEAR(frame->samples[kSlotC][1][4][9], expected, 1e-9);
    EXPECT_EQ(frame->samples[kSlotL][1][4][9], 0.0);
}

TEST(Matrixing, DownmixFormsPerProcedure) {
    auto frame = std::make_unique<SubbandFrame>();
    auto set = [&](double l, double r, double c, double ls, double rs) {
        frame->samples[kSlotLo][0][0][0] = l;
        frame->samples[kSlotRo][0][0][0] = r;
        frame->samples[kSlotC][0][0][0] = c;
        frame->samples[kSlotLs][0][0][0] = ls;
        frame->samples[kSlotRs][0][0][0] = rs;
    };
    set(1, 2, 3, 4, 5);
    MatrixSubbands(*frame, 2, 1);  // unscaled, to see the form
    EXPECT_DOUBLE_EQ(frame->samples[kSlotLo][0][0][0], 1 + 3 - 4.5);
    EXPECT_DOUBLE_EQ(frame->samples[kSlotRo][0][0][0], 2 + 3 + 4.5);
    EXPECT_DOUBLE_EQ(frame->samples[kSlotL][0][0][0], 1);
    set(1, 2, 3, 4, 5);
    MatrixSubbands(*frame, 3, 1);
    EXPECT_DOUBLE_EQ(frame->samples[kSlotLo][0][0][0], 1);
    EXPECT_DOUBLE_EQ(frame->samples[kSlotRo][0][0][0], 2);
    set(1, 2, 3, 4, 5);
    MatrixSubbands(*frame, 1, 1);
    EXPECT_DOUBLE_EQ(frame->samples[kSlotLo][0][0][0], 1 + 3 + 4);
    EXPECT_DOUBLE_EQ(frame->samples[kSlotRo][0][0][0], 2 + 3 + 5);
}

// Every sample of every procedure, with and without the limited centre, against the
// sums written out for one sample.
TEST(Matrixing, EverySampleFollowsTheDownmixSums) {
    auto frame = std::make_unique<SubbandFrame>();
    static FilteredSlots filtered;
    double* raw = &filtered[0][0][0][0];
    for (std::size_t i = 0; i < sizeof(FilteredSlots) / sizeof(double); ++i) {
        raw[i] = std::sin(0.37 * i) * (1.0 + i % 7);
    }
    for (int procedure = 0; procedure <= 3; ++procedure) {
        for (int center : {1, 3}) {
            const MatrixCoefficients k = SubbandCoefficients(procedure);
            ScaleForMatrix(filtered, *frame, procedure);
            MatrixSubbands(*frame, procedure, center);
            for (int at = 0; at < 3 * 12 * 32; ++at) {
                const int part = at / 384, gr = at / 32 % 12, sb = at % 32;
                auto in = [&](int slot) { return filtered[slot][part][gr][sb]; };
                const double n = k.normalisation, l = in(0) * n, r = in(1) * n;
                const double c = in(2) * (n * k.centre), ls = in(3) * (n * k.surround),
                             rs = in(4) * (n * k.surround);
                const double m = (ls + rs) / 2.0;
                double lo = procedure == 3 ? l : (procedure == 2 ? l + c - m : l + c + ls);
                double ro = procedure == 3 ? r : (procedure == 2 ? r + c + m : r + c + rs);
                const bool moved = center == 3 && sb >= 12;
                if (moved && procedure == 3)
                    lo += c * 0.7071067811865475, ro += c * 0.7071067811865475;
                const double extra = moved && procedure != 3 ? c : 0.0;
                const auto& x = frame->samples;
                ASSERT_EQ(x[kSlotLo][part][gr][sb], lo) << procedure << center << at;
                ASSERT_EQ(x[kSlotRo][part][gr][sb], ro) << procedure << center << at;
                ASSERT_EQ(x[kSlotL][part][gr][sb], moved && procedure != 3 ? l + extra : l);
                ASSERT_EQ(x[kSlotR][part][gr][sb], moved && procedure != 3 ? r + extra : r);
                ASSERT_EQ(x[kSlotC][part][gr][sb], moved ? 0.0 : c) << procedure << center << at;
                ASSERT_EQ(x[kSlotRs][part][gr][sb], rs) << procedure << center << at;
            }
        }
    }
}

double LfeGain(double frequency) {
    LfeCoder lfe;
    double peak = 0.0;
    for (int i = 0; i < 48000; ++i) {
        const double y = lfe.FilterSample(std::sin(2 * kPi * frequency * i / 48000.0));
        if (i > 24000) peak = std::max(peak, std::fabs(y));
    }
    return peak;
}

TEST(LfeCoder, LowPassKeeps50HzAndRemoves1kHz) {
    EXPECT_NEAR(LfeGain(50.0), 1.0, 0.02);
    EXPECT_LT(LfeGain(1000.0), 1e-6);
    EXPECT_NEAR(LfeGain(125.0), std::sqrt(0.5), 0.02) << "the corner is at 125 Hz";
}

// The look-ahead is the low-pass's delay at low frequencies: the centroid of its impulse
// response (some 620 samples).
TEST(LfeCoder, LookAheadIsTheLowPassDelay) {
    LfeCoder lfe;
    double moment = 0.0;
    double area = 0.0;
    for (int i = 0; i < 48000; ++i) {
        const double h = lfe.FilterSample(i == 0 ? 1.0 : 0.0);
        moment += i * h;
        area += h;
    }
    EXPECT_NEAR(lfe.LookAhead(), moment / area, 0.5);
}

// Blocks filtered from kept output to kept output give the frames that the cascade gives
// sample by sample, to within rounding (2e-11 of full scale), also from the state a block
// leaves to the next and across the hops that two blocks share.
TEST(LfeCoder, BlocksGiveTheSampleBySampleOutputs) {
    constexpr double kRounding = 2e-11;
    LfeCoder blocks;
    LfeCoder samples;
    std::vector<double> block(LfeCoder::kBlockSamples);
    std::vector<double> expected;
    int untilKept = samples.LookAhead();
    for (int b = 0; b < 40; ++b) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            const double t = static_cast<double>(b * block.size() + i);
            block[i] = std::round(20000.0 * std::sin(t * 0.013) + 5000.0 * std::sin(t * 1.7));
            const double y = samples.FilterSample(block[i]);
            if (untilKept-- == 0) {
                expected.push_back(y / 32768.0);
                untilKept = LfeCoder::kDecimation - 1;
            }
        }
        blocks.FilterBlock(block.data());
        if (!blocks.FrameReady()) continue;
        blocks.TakeFrame();
        for (int k = 0; k < LfeCoder::kSamples; ++k) {
            ASSERT_NEAR(blocks.Samples()[k], expected[k], kRounding)
                << "block " << b << " sample " << k;
        }
        expected.erase(expected.begin(), expected.begin() + LfeCoder::kSamples);
    }
}

// A frame's samples are the filter outputs one look-ahead later: an impulse at input
// sample 0 gives its response's peak near the first sample of frame 0, and the first frame
// is whole only once the next block has been filtered.
TEST(LfeCoder, SamplesEvery96thFromTheLookAhead) {
    LfeCoder lfe;
    std::vector<double> block(1152, 0.0);
    block[0] = 32768.0 * 96;
    lfe.FilterBlock(block.data());
    EXPECT_FALSE(lfe.FrameReady());
    block[0] = 0.0;
    lfe.FilterBlock(block.data());
    ASSERT_TRUE(lfe.FrameReady());
    lfe.TakeFrame();
    const auto& s = lfe.Samples();
    const auto peak = std::max_element(s.begin(), s.end()) - s.begin();
    EXPECT_LE(peak, 1);
    EXPECT_GT(s[0], 0.1);
    EXPECT_FALSE(lfe.FrameReady());

    // Silence at the end brings the rest of the last frame; nothing is left after it.
    lfe.FilterSilence();
    ASSERT_TRUE(lfe.FrameReady());
    lfe.TakeFrame();
    EXPECT_FALSE(lfe.FrameReady());
}

TEST(LfeCoder, QuantisesWithoutTheForbiddenCode) {
    LfeCoder lfe;
    std::vector<double> input(1152, 0.0);
    lfe.FilterBlock(input.data());
    lfe.FilterBlock(input.data());
    lfe.TakeFrame();
    lfe.LfeScaleFactor();
    EXPECT_EQ(lfe.ScaleIndex(), 62);

    // A DC input settles to the input value; the peak then equals a scale factor exactly.
    LfeCoder dc;
    std::vector<double> ones(1152, 16384.0);  // 0.5 after scaling
    for (int f = 0; f < 20; ++f) {
        dc.FilterBlock(ones.data());
        if (dc.FrameReady()) dc.TakeFrame();
    }
    dc.LfeScaleFactor();
    const double peak = dc.Samples()[0];
    ASSERT_NEAR(peak, 0.5, 1e-9);
    EXPECT_LT(peak, kScaleFactorTable[dc.ScaleIndex()]);
    const AllocationEntry entry = AllocationTableOf(0)[0][4];  // 31 levels, 5 bits
    EncoderLog log;
    dc.LfeQuantise(entry, log);
    EXPECT_TRUE(log.Empty()) << "no sample exceeds its scale factor";
    for (int code : dc.Codes()) {
        EXPECT_LT(code, 31) << "the all-ones code is forbidden";
        EXPECT_GT(code, 15);
    }

    // Reset restores the first run's filter state and look-ahead.
    LfeCoder fresh;
    std::vector<double> ramp(1152);
    for (int i = 0; i < 1152; ++i) ramp[i] = 100.0 * (i % 200);
    fresh.FilterBlock(ramp.data());
    fresh.FilterBlock(ramp.data());
    fresh.TakeFrame();
    dc.Reset();
    dc.FilterBlock(ramp.data());
    dc.FilterBlock(ramp.data());
    dc.TakeFrame();
    EXPECT_EQ(dc.Samples(), fresh.Samples());
}

}  // namespace
}  // namespace tavrisk::mp2
