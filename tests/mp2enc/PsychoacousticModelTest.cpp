// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <vector>

#include "mp2enc/PsychoacousticModel.h"
#include "mp2enc/ThresholdTables.h"

namespace tavrisk::mp2 {
namespace {

constexpr int kFrame = 1152;
constexpr int kBlockStart = kFrame - 192;  // the second frame's block starts here in the stream
constexpr int k48k = 1;
constexpr int k44k = 0;
constexpr double kUntouched = 12345.0;
const double kSilenceDb = 10.0 * std::log10(4e-20) + 90.309;

using Bands = double[kPsySlots][32];

struct ModelRun {
    PsychoacousticModel model;
    std::vector<double> samples = std::vector<double>(kPsySlots * kFrame, 0.0);
    Bands maxScale{};
    Bands minMask{};
    Bands smr{};
    Bands spike{};
    PsyFrameInfo info;

    ModelRun(int code = k48k, int sblimit = 27) {
        info.samplingFrequencyCode = code;
        info.sblimit = sblimit;
        for (auto& row : maxScale) std::fill(std::begin(row), std::end(row), 1e-20);
        Reset();
    }
    void Reset() {
        for (auto* bands : {&minMask, &smr, &spike}) {
            for (auto& row : *bands) std::fill(std::begin(row), std::end(row), kUntouched);
        }
    }
    double* Slot(int s) { return &samples[s * kFrame]; }
    void Frame() {
        model.ComputeMasking(reinterpret_cast<const double(*)[kFrame]>(samples.data()), maxScale,
                             info, minMask, smr, spike);
    }
};

// Two frames whose analysed block, once windowed, is exactly a sum of bin-centred sines of
// the given levels (line -> dB): the spectrum has those lines and a flat floor far below.
void ExactLines(ModelRun& run, int slot, const std::map<int, double>& levels) {
    std::vector<double> stream(2 * kFrame, 0.0);
    for (int j = 1; j < 1023; ++j) {
        const double window =
            std::sqrt(8.0 / 3.0) * (1.0 - std::cos(2.0 * std::numbers::pi * j / 1023)) / 2048.0;
        double value = 0.0;
        for (auto [line, db] : levels) {
            const double amplitude = std::pow(10.0, (db - 90.309) / 20) / 1024;
            value += amplitude * std::sin(2.0 * std::numbers::pi * line * j / 1024);
        }
        stream[kBlockStart + j] = value / window * 32768.0;
    }
    std::copy(stream.begin(), stream.begin() + kFrame, run.Slot(slot));
    run.Frame();
    std::copy(stream.begin() + kFrame, stream.end(), run.Slot(slot));
    run.Reset();
    run.Frame();
}

// Two frames of a sum of bin-centred cosines, phase-aligned on the second frame's block.
void AddLines(ModelRun& run, int slot, const std::map<int, double>& amplitudes,
              std::vector<double>& second) {
    for (int n = 0; n < 2 * kFrame; ++n) {
        double value = 0.0;
        for (auto [line, amplitude] : amplitudes) {
            value += amplitude * std::cos(2.0 * std::numbers::pi * line * (n - kBlockStart) / 1024);
        }
        (n < kFrame ? run.Slot(slot)[n] : second[n - kFrame]) += value;
    }
}

// Feeds the two frames of `lines` (line -> amplitude) on one slot, analysing the second.
void TwoFrames(ModelRun& run, int slot, const std::map<int, double>& lines) {
    std::vector<double> second(kFrame, 0.0);
    AddLines(run, slot, lines, second);
    run.Frame();
    std::copy(second.begin(), second.end(), run.Slot(slot));
    run.Reset();
    run.Frame();
}

std::vector<int> Lines(const std::vector<PsychoacousticModel::Component>& list) {
    std::vector<int> lines;
    for (const auto& c : list) lines.push_back(c.line);
    return lines;
}

bool Contains(const std::vector<int>& lines, int line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

double AddPower(double a, double b, int c) {
    const double k = 3.3219 * c;
    return k * std::log10(std::pow(10.0, a / k) + std::pow(10.0, b / k));
}

// The minimum masking threshold per subband computed plainly from the component lists.
std::vector<double> PlainMinimumMask(const PsychoacousticModel& model, int code, int sblimit) {
    const auto& table = Ltg(2, code);
    std::vector<double> threshold(kThresholdEntries, 0.0);
    for (int i = 1; i < kThresholdEntries; ++i) {
        double x = -200.0;
        for (int list = 0; list < 2; ++list) {
            for (const auto& c : list == 0 ? model.TonalComponents() : model.NoiseComponents()) {
                const double z = c.bark;
                const double level = c.level;
                const double dz = table[i].bark - z;
                if (dz < -3 || dz >= 8) continue;
                const double g = 0.4 * level + 6 > 17 ? 0.4 * level + 6 : 17;
                double vf = 0;
                if (dz < -1) {
                    vf = 17 * (dz + 1) - g;
                } else if (dz < 0) {
                    vf = g * dz;
                } else if (dz < 1) {
                    vf = -18 * dz;
                } else {
                    vf = -(dz - 1) * (17 - 0.1 * level) - 18;
                }
                const double lt = level - 0.3 * z - (list == 0 ? 9 : 5);
                x = AddPower(x, lt + vf, 2);
            }
        }
        threshold[i] = AddPower(table[i].hear - 12, x, 3);
    }
    std::vector<double> minMask(sblimit);
    int e = 1;
    for (int sb = 0; sb < sblimit; ++sb) {
        if (e >= kThresholdEntries - 1) {
            minMask[sb] = table[kThresholdEntries - 1].hear;
            continue;
        }
        double m = threshold[e];
        while (e < kThresholdEntries && table[e].line / 16 == sb) m = std::min(m, threshold[e++]);
        minMask[sb] = m;
    }
    return minMask;
}

// The model sums powers in single precision where the plain form chains dB additions in
// double: the same sums but for rounding, a few 1e-5 dB at worst (a float's 6e-8 relative on
// levels near 100 dB and on the sums). A bound of 1e-4 dB is ample: the model's own decisions
// use margins of 0.01 dB and more.
constexpr double kPowerSumToleranceDb = 1e-4;

TEST(PsychoacousticModelTest, SilenceGivesTheFloorLevelAndOnlyTheThresholdInQuiet) {
    ModelRun run;
    run.Frame();
    const auto plain = PlainMinimumMask(run.model, k48k, 27);
    EXPECT_NEAR(kSilenceDb, -103.67, 0.005);
    for (int s = 0; s < 7; ++s) {
        for (int sb = 0; sb < 32; ++sb) EXPECT_EQ(run.spike[s][sb], kSilenceDb) << s << " " << sb;
        for (int sb = 0; sb < 27; ++sb) {
            EXPECT_NEAR(run.minMask[s][sb], plain[sb], kPowerSumToleranceDb) << s << " " << sb;
            EXPECT_NEAR(run.smr[s][sb], kSilenceDb - plain[sb], kPowerSumToleranceDb);
        }
    }
    EXPECT_TRUE(run.model.TonalComponents().empty());
    EXPECT_TRUE(run.model.NoiseComponents().empty());
}

TEST(PsychoacousticModelTest, SilentBlocksGiveWhatTheFullAnalysisGivesBelowTheEnergyFloor) {
    // Digital silence takes a short cut; a faint signal whose every line lies below the energy
    // floor goes through every step, and both must come out the same.
    ModelRun silent;
    ModelRun faint;
    for (auto* run : {&silent, &faint}) {
        run->info.center = 3;
        for (int s = 0; s < kPsySlots; ++s) {
            for (int sb = 0; sb < 32; ++sb) run->maxScale[s][sb] = 1e-4 * (sb + 1);
        }
    }
    for (int s = 0; s < 7; ++s) {
        for (int n = 0; n < kFrame; n += 7) faint.Slot(s)[n] = 1e-9;
    }
    for (int frame = 0; frame < 2; ++frame) {
        silent.Frame();
        faint.Frame();
    }
    for (int s = 0; s < 7; ++s) {
        for (int sb = 0; sb < 32; ++sb) {
            EXPECT_EQ(silent.spike[s][sb], faint.spike[s][sb]) << s << " " << sb;
            EXPECT_EQ(silent.minMask[s][sb], faint.minMask[s][sb]) << s << " " << sb;
            EXPECT_EQ(silent.smr[s][sb], faint.smr[s][sb]) << s << " " << sb;
        }
    }
    EXPECT_EQ(silent.spike[2][20], -103.67);
    EXPECT_TRUE(faint.model.NoiseComponents().empty());
}

TEST(PsychoacousticModelTest, ToneAboveLine254KeepsItsLevelAndAbsorbsItsRun) {
    ModelRun run;
    // A weaker tone 10 lines up lies inside the run of 12 and is absorbed.
    TwoFrames(run, 6, {{300, 16000.0}, {310, 3000.0}});
    const auto tonal = run.model.TonalComponents();
    ASSERT_EQ(Lines(tonal), std::vector<int>{300});
    EXPECT_EQ(tonal[0].level, run.spike[6][300 / 16]);
    EXPECT_GT(tonal[0].level, 80.0);
    // The run's lines are cleared, so the band around the tone carries no noise above 300.
    for (const auto& c : run.model.NoiseComponents()) EXPECT_LT(c.level, tonal[0].level - 20);
}

TEST(PsychoacousticModelTest, ToneBelowLine255AddsItsNeighbours) {
    ModelRun run;
    TwoFrames(run, 6, {{100, 16000.0}});
    const auto tonal = run.model.TonalComponents();
    ASSERT_EQ(Lines(tonal), std::vector<int>{100});
    // Both neighbours lie 6 dB down: 10 log10(1 + 1/4 + 1/4) dB are added.
    EXPECT_NEAR(tonal[0].level - run.spike[6][100 / 16], 1.76, 0.05);
}

TEST(PsychoacousticModelTest, RunWidthChangesAtLines62And126And254) {
    // A tone with a second one `gap` lines up, 4 dB weaker: the second one lies inside the run
    // of the line just past the boundary (and so makes it non-tonal), not the one below it.
    struct Case {
        int below;
        int gap;
    };
    for (auto [below, gap] : {Case{61, 3}, Case{125, 4}, Case{253, 7}}) {
        for (int line : {below, below + 1}) {
            ModelRun run;
            TwoFrames(run, 6, {{line, 16000.0}, {line + gap, 16000.0 * std::pow(10, -0.2)}});
            EXPECT_EQ(Contains(Lines(run.model.TonalComponents()), line), line == below)
                << "line " << line;
        }
    }
}

TEST(PsychoacousticModelTest, DecimationKeepsTheStrongerOfTwoTonesWithinATenthBark) {
    // At 48 kHz lines 385 and 401 map to 24.411 and 24.491 Bark; 260 and 276 to 23.309 and
    // 23.515 Bark.
    for (auto [low, high, both] : {std::tuple{385, 401, false}, {260, 276, true}}) {
        for (bool lowStronger : {true, false}) {
            ModelRun run;
            const double strong = 16000.0;
            const double weak = strong * std::pow(10, -0.15);
            TwoFrames(run, 6,
                      {{low, lowStronger ? strong : weak}, {high, lowStronger ? weak : strong}});
            const auto tonal = Lines(run.model.TonalComponents());
            if (both) {
                EXPECT_EQ(tonal, (std::vector<int>{low, high}));
            } else {
                EXPECT_EQ(tonal, std::vector<int>{lowStronger ? low : high});
            }
        }
    }
}

TEST(PsychoacousticModelTest, SecondToneInTheFirstOnesWiderRunTakesTheListHead) {
    // Lines 60 (run 2) and 63 (run 3, 12 dB up) are both tonal; 63's run clears 60, and the
    // list must go on from 63 rather than end with the cleared line.
    ModelRun run;
    ExactLines(run, 6, {{60, 60.0}, {63, 72.0}});
    EXPECT_EQ(Lines(run.model.TonalComponents()), std::vector<int>{63});
}

TEST(PsychoacousticModelTest, CandidatesReadTheLinesAnEarlierComponentChanged) {
    // A candidate just above a component's run is judged on the levels the component left:
    // its cleared run no longer holds it down, and its summed level (below line 255) can.
    struct Case {
        std::map<int, double> levels;
        std::vector<int> tonal;
    };
    const Case cases[] = {
        // 65 (10 dB above 67's margin) is cleared by 62's run, so 67 is tonal.
        {{{62, 80.0}, {65, 70.0}, {67, 70.0}}, {62, 67}},
        // 61's neighbours lift it 1.8 dB, past the margin of 64 (8 dB up, 3 lines away).
        {{{60, 74.0}, {61, 80.0}, {62, 74.0}, {64, 88.0}}, {61}},
        // The same where the run widens from 3 to 6 lines.
        {{{124, 74.0}, {125, 80.0}, {126, 74.0}, {129, 88.0}}, {125}},
    };
    for (const auto& c : cases) {
        ModelRun run;
        ExactLines(run, 6, c.levels);
        EXPECT_EQ(Lines(run.model.TonalComponents()), c.tonal) << "first line " << c.tonal[0];
    }
}

TEST(PsychoacousticModelTest, LastTwoNoiseBandsCentredOnOneLineEndTheList) {
    // At 44.1 kHz the energy of band 23 (lines 265..352) on line 352 (24.013 Bark) centres it
    // on line 354, inside band 24, which then centres on line 354 again: the list must end
    // there instead of pointing back to itself. Line 356 keeps both lines from being tonal.
    ModelRun run(k44k, 30);
    ExactLines(run, 6, {{352, 80.0}, {356, 77.0}});
    EXPECT_TRUE(run.model.TonalComponents().empty());
    const auto noise = Lines(run.model.NoiseComponents());
    ASSERT_FALSE(noise.empty());
    EXPECT_EQ(noise.back(), 354);
    EXPECT_EQ(std::count(noise.begin(), noise.end(), 354), 1);
    EXPECT_TRUE(std::is_sorted(noise.begin(), noise.end()));
}

TEST(PsychoacousticModelTest, LinesAboveTheTableBelongToItsLastEntry) {
    // At 48 kHz the table ends at line 432: a tone on line 460 sits at the top of the Bark
    // scale, beside the tone on line 300, and masks nothing at low frequencies.
    ModelRun alone;
    TwoFrames(alone, 6, {{300, 16000.0}});
    ModelRun both;
    TwoFrames(both, 6, {{300, 16000.0}, {460, 16000.0}});
    const auto tonal = both.model.TonalComponents();
    ASSERT_EQ(Lines(tonal), (std::vector<int>{300, 460}));
    EXPECT_EQ(tonal[1].bark, Ltg(2, k48k)[126].bark);
    for (int sb = 0; sb < 8; ++sb)
        EXPECT_NEAR(both.minMask[6][sb], alone.minMask[6][sb], 0.01) << sb;
}

TEST(PsychoacousticModelTest, MinimumMaskEqualsThePlainSumOverTheComponents) {
    double worst = 0.0;
    // Varied material: tones of random frequency and level over coloured noise of random level.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (int trial = 0; trial < 24; ++trial) {
        const int code = trial % 2 ? k44k : k48k;
        const int sblimit = trial % 3 == 0 ? 8 : code == k44k ? 30 : 27;
        ModelRun run(code, sblimit);
        std::vector<std::pair<double, double>> tones;  // radians per sample, amplitude
        for (int i = static_cast<int>(uniform(random) * 9); i > 0; --i) {
            tones.push_back(
                {std::numbers::pi * uniform(random), 12000 * std::pow(uniform(random), 3)});
        }
        const double noiseLevel = 3000 * std::pow(uniform(random), 2);
        const double colour = uniform(random);  // 0 white .. 1 dark
        double smooth = 0.0;
        for (int frame = 0; frame < 3; ++frame) {
            for (int n = 0; n < kFrame; ++n) {
                const double t = frame * kFrame + n;
                smooth = colour * smooth + (1 - colour) * gauss(random);
                double v = noiseLevel * smooth;
                for (auto [w, a] : tones) v += a * std::sin(w * t);
                run.Slot(6)[n] = v;
            }
            run.Frame();
            SCOPED_TRACE(testing::Message() << "trial " << trial << " frame " << frame);
            const auto plain = PlainMinimumMask(run.model, code, sblimit);
            for (int sb = 0; sb < sblimit; ++sb) {
                EXPECT_NEAR(run.minMask[6][sb], plain[sb], kPowerSumToleranceDb) << sb;
                worst = std::max(worst, std::fabs(run.minMask[6][sb] - plain[sb]));
            }
        }
    }
    std::printf("minimum mask against the chain of dB additions: worst difference %.2g dB\n",
                worst);
}

TEST(PsychoacousticModelTest, SignalToMaskIsHighInTheToneSubbandAndLowElsewhere) {
    ModelRun run;
    // Scale of the subbands as the filterbank would give them: the tone's subband is loud.
    for (int sb = 0; sb < 32; ++sb) run.maxScale[6][sb] = sb == 18 ? 0.5 : 1e-5;
    TwoFrames(run, 6, {{300, 16000.0}});
    EXPECT_GT(run.smr[6][18], 10.0);
    for (int sb : {0, 5, 10, 26}) EXPECT_LT(run.smr[6][sb], 0.0) << sb;
    // Level: the larger of the scale (20 log10(0.5 * 32768) - 10 dB) and the spectral peak.
    const double scaleDb = 20 * std::log10(0.5 * 32768) - 10;
    EXPECT_EQ(run.smr[6][18], std::max(scaleDb, run.spike[6][18]) - run.minMask[6][18]);
}

TEST(PsychoacousticModelTest, WritesOnlyTheSubbandsBelowTheLimitAndTheProcessedSlots) {
    for (auto [multichannel, stereoAug, slots] :
         {std::tuple{false, 0, 2}, {true, 0, 7}, {true, 2, 12}}) {
        ModelRun run(k48k, 27);
        run.info.multichannel = multichannel;
        run.info.stereoAug = stereoAug;
        run.Frame();
        for (int s = 0; s < kPsySlots; ++s) {
            for (int sb = 0; sb < 32; ++sb) {
                const bool slot = s < slots;
                EXPECT_EQ(run.minMask[s][sb] == kUntouched, !slot || sb >= 27) << s << " " << sb;
                EXPECT_EQ(run.smr[s][sb] == kUntouched, !slot || sb >= 27) << s << " " << sb;
                EXPECT_EQ(run.spike[s][sb] == kUntouched, !slot) << s << " " << sb;
            }
        }
    }
}

TEST(PsychoacousticModelTest, BlockHoldsTheLast192SamplesOfThePreviousFrameAndFirst832) {
    auto analyse = [](int changedPrevious, int changedCurrent) {
        ModelRun run;
        std::vector<double> second(kFrame);
        for (int n = 0; n < kFrame; ++n) {
            run.Slot(0)[n] = 1000 * std::sin(0.3 * n);
            second[n] = 1000 * std::sin(0.3 * (n + kFrame));
        }
        if (changedPrevious >= 0) run.Slot(0)[changedPrevious] += 5000;
        run.Frame();
        if (changedCurrent >= 0) second[changedCurrent] += 5000;
        std::copy(second.begin(), second.end(), run.Slot(0));
        run.Frame();
        return std::vector<double>(std::begin(run.spike[0]), std::end(run.spike[0]));
    };
    const auto plain = analyse(-1, -1);
    // The window is zero at both ends of the block (samples 960 and 831).
    EXPECT_EQ(analyse(959, -1), plain);
    EXPECT_NE(analyse(961, -1), plain);
    EXPECT_NE(analyse(1151, -1), plain);
    EXPECT_NE(analyse(-1, 0), plain);
    EXPECT_NE(analyse(-1, 830), plain);
    EXPECT_EQ(analyse(-1, 832), plain);
    EXPECT_EQ(analyse(-1, 1151), plain);
}

TEST(PsychoacousticModelTest, LimitedCentreSilencesTheCentreSlotFromLine184) {
    ModelRun run;
    run.info.center = 3;
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 3000.0);
    for (int frame = 0; frame < 2; ++frame) {
        for (int s = 0; s < 7; ++s) {
            for (int n = 0; n < kFrame; ++n) run.Slot(s)[n] = noise(random);
        }
        run.Frame();
    }
    for (int sb = 12; sb < 32; ++sb) {
        EXPECT_EQ(run.spike[2][sb], -103.67) << sb;
        EXPECT_GT(run.spike[1][sb], 0.0) << sb;
    }
    EXPECT_GT(run.spike[2][11], 0.0);  // lines 176..183 keep their level
}

TEST(PsychoacousticModelTest, ModelsAreIndependentAndRepeatable) {
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 2000.0);
    std::vector<std::vector<double>> frames(4, std::vector<double>(kPsySlots * kFrame));
    for (auto& frame : frames) {
        for (auto& v : frame) v = noise(random);
    }
    auto encode = [&](ModelRun& run, int frame) {
        run.samples = frames[frame];
        run.Frame();
        return std::vector<double>(&run.smr[0][0], &run.smr[0][0] + kPsySlots * 32);
    };
    ModelRun first;
    ModelRun other;
    std::vector<std::vector<double>> results;
    for (int f = 0; f < 4; ++f) {
        results.push_back(encode(first, f));
        encode(other, 3 - f);  // another model in between must not matter
    }
    ModelRun second;
    for (int f = 0; f < 4; ++f) EXPECT_EQ(encode(second, f), results[f]) << f;
}

TEST(PsychoacousticModelTest, MixedSlotsGiveTheMasksOfTheirWeightedSums) {
    // Slots 0 and 1 as weighted sums of slots 2 to 6 (never read as rows) against the same sums
    // given as rows; the weights change on the third frame, so its block starts with the
    // tail of the other matrix.
    const std::array<std::array<double, kPsySlots>, 2> weights[2] = {
        {{{0, 0, 0.29, 0.41, 0, 0.41, 0}, {0, 0, 0.29, 0, 0.41, 0, 0.41}}},
        {{{0, 0, 0.3, -0.15, -0.15, 0.42, 0}, {0, 0, 0.3, 0.15, 0.15, 0, 0.42}}}};
    std::mt19937 random(17);
    std::normal_distribution<double> noise(0.0, 1.0);
    ModelRun mixed;
    ModelRun summed;
    for (int frame = 0; frame < 4; ++frame) {
        const auto& mix = weights[frame < 2 ? 0 : 1];
        mixed.info.mixedSlots = 2;
        mixed.info.mix = mix;
        for (int s = 2; s < 7; ++s) {
            for (int n = 0; n < kFrame; ++n) {
                const double t = frame * kFrame + n;
                summed.Slot(s)[n] = mixed.Slot(s)[n] =
                    3000 * std::sin(0.01 * (s + 1) * t) + 300 * s * noise(random);
            }
        }
        for (int m = 0; m < 2; ++m) {
            for (int n = 0; n < kFrame; ++n) {
                mixed.Slot(m)[n] = 1e6 * noise(random);
                summed.Slot(m)[n] = 0.0;
                for (int s = 2; s < 7; ++s) summed.Slot(m)[n] += mix[m][s] * summed.Slot(s)[n];
            }
        }
        mixed.Frame();
        summed.Frame();
        for (int s = 0; s < 7; ++s) {
            for (int sb = 0; sb < 27; ++sb) {
                EXPECT_NEAR(mixed.minMask[s][sb], summed.minMask[s][sb], 0.01) << s << " " << sb;
                EXPECT_NEAR(mixed.smr[s][sb], summed.smr[s][sb], 0.01) << s << " " << sb;
            }
        }
    }
}

TEST(PsychoacousticModelTest, ANewSamplingFrequencyStartsAFreshAnalysis) {
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 2000.0);
    std::vector<double> first(kPsySlots * kFrame);
    std::vector<double> second(kPsySlots * kFrame);
    for (auto* frame : {&first, &second}) {
        for (auto& v : *frame) v = noise(random);
    }
    ModelRun switched(k48k, 27);
    switched.samples = first;
    switched.Frame();
    switched.info.samplingFrequencyCode = k44k;
    switched.info.sblimit = 30;
    switched.samples = second;
    switched.Frame();
    ModelRun fresh(k44k, 30);
    fresh.samples = second;
    fresh.Frame();
    for (int s = 0; s < 7; ++s) {
        for (int sb = 0; sb < 30; ++sb) EXPECT_EQ(switched.smr[s][sb], fresh.smr[s][sb]) << s;
    }
}

TEST(PsychoacousticModelTest, CodesWithoutTablesStillGiveFiniteMasks) {
    // Code 3 has no tables (all zero): every band and line falls on line 0 and Bark 0.
    for (auto [layer, code] : {std::pair{2, 3}, {1, 1}, {3, 1}}) {
        ModelRun run(code, 32);
        run.info.layer = layer;
        std::mt19937 random(9);
        std::normal_distribution<double> noise(0.0, 3000.0);
        for (int frame = 0; frame < 2; ++frame) {
            for (auto& v : run.samples) v = noise(random);
            run.Frame();
        }
        for (int s = 0; s < 7; ++s) {
            for (int sb = 0; sb < 32; ++sb) {
                EXPECT_TRUE(std::isfinite(run.minMask[s][sb])) << layer << " " << code;
                EXPECT_TRUE(std::isfinite(run.smr[s][sb])) << layer << " " << code;
            }
        }
    }
}

TEST(PsychoacousticModelSplit, TwoStepsWithSideWorkGiveTheSameMasks) {
    // The same frames through computeMasking and through startMasking / finishMasking with
    // side work sharing the threads: identical results, every side unit run once per frame,
    // though the caller overwrites the samples as soon as the frame is started.
    constexpr int kUnits = 5;
    constexpr int kFrames = 6;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 3000.0);
    ModelRun plain;
    ModelRun split;
    std::array<std::atomic<int>, kUnits> runs{};
    split.model.SetSideWork(kUnits, [&](int unit) { runs[unit].fetch_add(1); });
    for (int f = 0; f < kFrames; ++f) {
        for (int s = 0; s < kPsySlots; ++s) {
            for (int i = 0; i < kFrame; ++i) {
                const double v =
                    noise(random) + 8000.0 * std::sin(0.05 * (s + 1) * (f * kFrame + i));
                plain.Slot(s)[i] = split.Slot(s)[i] = std::round(v);
            }
        }
        for (auto* run : {&plain, &split}) {
            for (auto& row : run->maxScale) std::fill(std::begin(row), std::end(row), 0.25);
        }
        plain.Frame();
        split.model.StartMasking(reinterpret_cast<const double(*)[kFrame]>(split.samples.data()),
                                 split.info, true);
        std::fill(split.samples.begin(), split.samples.end(), 12345.0);
        split.model.FinishSideWork();
        for (int u = 0; u < kUnits; ++u) EXPECT_EQ(runs[u].load(), f + 1) << "unit " << u;
        split.model.FinishMasking(split.maxScale, split.minMask, split.smr, split.spike);
        for (int s = 0; s < 7; ++s) {
            for (int sb = 0; sb < 32; ++sb) {
                ASSERT_EQ(plain.minMask[s][sb], split.minMask[s][sb]) << s << " " << sb;
                ASSERT_EQ(plain.smr[s][sb], split.smr[s][sb]) << s << " " << sb;
                ASSERT_EQ(plain.spike[s][sb], split.spike[s][sb]) << s << " " << sb;
            }
        }
    }
}

}  // namespace
}  // namespace tavrisk::mp2
