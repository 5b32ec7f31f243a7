// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/PsychoacousticModel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

#include "dsp/KernelChoice.h"
#include "mp2enc/LineLevelFft.h"
#include "mp2enc/PsychoLanes.h"
#include "mp2enc/PsychoLog2.h"
#include "mp2enc/ThresholdTables.h"

namespace tavrisk::mp2 {
namespace {

constexpr int kFrameSamples = 1152;
constexpr int kLines = LineLevelFft::kLines;
constexpr int kTailSamples = LineLevelFft::kTailSamples;
constexpr double kDbPerOctave = LineLevelFft::kDbPerOctave;
constexpr int kPaddedLines = kLines + 4;
// Lane numbers of four doubles, and four line types.
constexpr PsyDoubles4 kLanes = {0.0, 1.0, 2.0, 3.0};
// Lane numbers of eight floats: the masking thresholds are summed in single precision.
constexpr PsyFloats8 kFloatLanes = {0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f};
constexpr int kFloatLaneCount = 8;
typedef int LineTypes4 __attribute__((vector_size(16)));
typedef double Doubles2 __attribute__((vector_size(16)));
constexpr int kSubbands = 32;
constexpr int kLinesPerSubband = 16;

constexpr double kDbMin = -200.0;  // a level that stands for "nothing"
constexpr int kListEnd = -1;
constexpr int kNoList = -100;
constexpr int kTypeNone = 0;
constexpr int kTypeNoise = 10;
constexpr int kTypeTonal = 20;

constexpr int kLimitedCentre = 3;
constexpr int kCentreSlot = 2;
constexpr int kLimitedCentreFirstLine = 184;
constexpr double kLimitedCentreDb = -103.67;

constexpr int kFirstCandidate = 2;
constexpr int kLastCandidate = 499;
constexpr double kTonalMarginDb = 7.0;
constexpr int kOwnLevelFrom = 255;  // tonal components from this line on keep their own level
constexpr int kNoiseBands = 25;
constexpr double kDecimationBark = 0.1;

constexpr double kMaskBelowBark = -3.0;
constexpr double kMaskAboveBark = 8.0;
constexpr double kTonalIndexDb = 9.0;
constexpr double kNoiseIndexDb = 5.0;
constexpr double kQuietLoweringDb = 12.0;
constexpr double kAddPowerUnit = 3.3219;
constexpr int kIndividualScale = 2;  // addPower scale summing the individual thresholds
constexpr int kQuietScale = 3;       // addPower scale adding the threshold in quiet
constexpr double kSumIndividual = kAddPowerUnit * kIndividualScale;
constexpr double kAddQuiet = kAddPowerUnit * kQuietScale;

constexpr double kSmrOffsetDb = 10.0;
// The entry arrays run on by at least seven entries, to a multiple of eight lanes: eight may
// be read from any entry.
constexpr int kPaddedEntries =
    (kThresholdEntries + 2 * (kFloatLaneCount - 1)) / kFloatLaneCount * kFloatLaneCount;
static_assert(kPaddedLines % 4 == 0);
constexpr double kFullScale = 32768.0;

// Channel slots the model analyses per frame.
int SlotsOf(const PsyFrameInfo& info) {
    if (!info.multichannel) return 2;
    return info.stereoAug == 2 ? kPsySlots : 7;
}

PsySlotRows RowsOf(const double (*slotSamples)[kFrameSamples]) {
    PsySlotRows rows{};
    for (int s = 0; s < kPsySlots; ++s) rows[s] = slotSamples[s];
    return rows;
}

// Sets values [0, count) to `value`, four at a time (count a multiple of four).
void FillLanes(double* values, int count, double value) {
    const PsyDoubles4 lanes = value - PsyDoubles4{};
    for (int i = 0; i < count; i += 4) WriteLanes(values + i, lanes);
}

// Search width around a tonal candidate, by its line: 2 lines below line 62, 3 from there,
// then 6, then 12.
constexpr int kRunOf3From = 62;
constexpr int kRunOf6From = 126;
constexpr int kRunOf12From = 254;
constexpr int kWidestRun = 12;
constexpr int TonalRun(int k) {
    if (k < kFirstCandidate || k > kLastCandidate) return 0;
    if (k < kRunOf3From) return 2;
    if (k < kRunOf6From) return 3;
    if (k < kRunOf12From) return 6;
    return kWidestRun;
}

constexpr auto kTonalRuns = [] {
    std::array<int, kLines> runs{};
    for (int k = 0; k < kLines; ++k) runs[k] = TonalRun(k);
    return runs;
}();

double DbPower(double db) {
    return std::pow(10.0, 0.1 * db);
}

// Sum of two levels on a scale k = 3.3219 c: c = 2 sums individual thresholds, c = 3 adds the
// threshold in quiet.
double AddPower(double a, double b, int c) {
    const double k = kAddPowerUnit * c;
    return k * std::log10(std::pow(10.0, a / k) + std::pow(10.0, b / k));
}

struct ModelTables;
// Adds to sum[i] the power of the individual masking threshold of a component at Bark z (the
// entries' Bark values are bark[i] + barkRest[i]),
// level `level` and masking index `index` on each entry i in [from, to), on the power scale
// of the summed individual thresholds (toBase2 turns its dB into base-2 exponents), and sets
// masked[i] to 1.
using AddMaskerFunction = void (*)(const float* bark, const float* barkRest, int from, int to,
                                   double z, double level, double index, double toBase2, float* sum,
                                   float* masked);
// The global threshold (dB) of entries [1, entries) from the sums of their individual
// thresholds; entries masked by no component take the threshold in quiet alone.
using ThresholdFunction = void (*)(const ModelTables& t, const float* sum, const float* masked,
                                   int entries, float* threshold);
// The tonal candidates as the levels x come from the spectrum: the local maxima among the
// candidate lines (`maxima`) and, among them, those with a line 2 to TonalRun(k) lines away on
// either side above x[k] - 7 dB (`above`), bit k % 64 of word k / 64 for line k. The levels
// are finite: the spectrum builds them from a float's exponent and mantissa, and the floor's
// and the limited centre's are constants.
constexpr int kMaximaWords = kLines / 64;
using CandidateFunction = void (*)(const double* x, std::uint64_t* maxima, std::uint64_t* above);
// The noise components of a slot's work, whose tonal components are found: per critical band
// one, from the lines neither tonal nor cleared, which it clears.
struct SlotWork;
using NoiseFunction = void (*)(SlotWork& work);
// Eight entries or four lines at a time, with AVX2 where the processor has it: the same vector code
// compiled twice, so the values are the same either way.
AddMaskerFunction PickAddMasker();
ThresholdFunction PickThresholds();
NoiseFunction PickNoise();
CandidateFunction PickCandidates();

// Tables of the layer and sampling frequency in force, and the spectrum's.
struct ModelTables {
    bool initialised = false;
    int layer = 0;
    int samplingCode = 0;
    ThresholdTable table{};
    CriticalBandRow bounds{};
    int lastRow = 0;  // last entry that carries a row of the table
    std::array<double, kPaddedLines> lineBark{};
    std::array<double, kLines> lineHear{};
    // Entry Bark values as two floats, high part and the rest, so that distances from a
    // component keep double precision's few 1e-8 Bark: steep slopes would turn a float's
    // 1e-6 Bark into 5e-5 dB.
    std::array<float, kPaddedEntries> entryBark{};
    std::array<float, kPaddedEntries> entryBarkRest{};
    // Per line, the rows [first, second) that a component there masks: from z - 3 up to z + 8.
    std::array<std::pair<int, int>, kLines> lineMasks{};
    // Per subband, the entries whose lines it holds, [first, second); a subband without
    // entries reads entry `first`, one past the table's entries reads none (first < 0).
    std::array<std::pair<int, int>, kSubbands> subbandEntries{};
    std::array<float, kPaddedEntries> quietPower{};  // 10^((hear - 12) / k), quiet term
    std::array<float, kPaddedEntries> quietOnly{};   // global threshold with no masker
    double noisePowerOfDbMin = 0.0;                  // 10^(0.1 * -200)
    double limitedCentrePower = 0.0;                 // 10^(0.1 * kLimitedCentreDb)
    float individualPowerOfDbMin = 0.0f;             // 10^(-200 / k)
    double floorDb = 0.0;  // level of a line below the energy floor, -103.67 dB
    // Exponent scales of the dB additions in base 2.
    double individualToBase2 = 0.0;
    double quietToBase2 = 0.0;

    LineLevelFft spectrum;
    PsychoLog2 log2;
    AddMaskerFunction addMasker = PickAddMasker();
    ThresholdFunction thresholds = PickThresholds();
    NoiseFunction findNoise = PickNoise();
    CandidateFunction candidates = PickCandidates();

    ModelTables();
    // Takes the tables of a layer and sampling frequency; false when they are in force already.
    bool Select(int newLayer, int newSamplingCode);
};

// The work arrays and steps of the analysis of one slot.
struct SlotWork {
    explicit SlotWork(const ModelTables& tables) : t(tables) {}

    const ModelTables& t;
    LineLevelFft::Block fftWork;
    // The line arrays run on past the last line, so that four lanes may be read from any line.
    std::array<double, kPaddedLines> x{};  // level per line, dB
    // Power per line, 10^(x / 10) as the spectrum gave it: the noise bands sum these.
    std::array<double, kPaddedLines> power{};
    std::array<int, kPaddedLines> type{};
    // The lists' links: a line's entry is set as it joins a list and read only while it is in one.
    std::array<int, kLines> next{};
    std::array<double, kSubbands> spike{};
    // Per entry, in single precision: its rounding (a few 1e-6 dB) is far below the model's
    // margins of 0.01 dB and more.
    std::array<float, kPaddedEntries> threshold{};
    std::array<float, kPaddedEntries> sum{};     // individual thresholds, as powers
    std::array<float, kPaddedEntries> masked{};  // 1 where a component masks the entry
    int tone = kListEnd;
    int noise = kListEnd;

    // The levels of the windowed block (which is overwritten).
    void Spectrum(LineLevelFft::Block& block);
    void SpectralMaxima();
    // The power of line k's level as it stands.
    double LinePower(int k) const { return x[k] == kDbMin ? t.noisePowerOfDbMin : power[k]; }
    void FindTonal();
    void FindNoise();
    void DropInaudible(int& head);
    void DecimateTonal();
    void AddMasker(int k, double indexDb, int entries);
    void GlobalThreshold(int entries);
    void MinimumMask(int sblimit, double* minMask) const;
    std::vector<PsychoacousticModel::Component> Components(int head) const;
};

// The walk of the minimum mask over the entries, reading no threshold: one past the last
// entry whose threshold it reads.
int EntriesRead(const ThresholdTable& table, int sblimit) {
    int e = 1;
    int read = 1;
    for (int sb = 0; sb < sblimit; ++sb) {
        if (e >= kThresholdEntries - 1) break;
        read = std::max(read, e + 1);
        while (e < kThresholdEntries && table[e].line / kLinesPerSubband == sb) {
            read = std::max(read, e + 1);
            ++e;
        }
    }
    return read;
}

// Runs a task on a second thread each time it is offered. A task the thread has not taken up
// by the time the caller finishes is withdrawn, so a busy machine never makes the caller wait
// for the thread to be scheduled. Both sides sleep while they wait: no core is spent polling.
class HelperThread {
  public:
    explicit HelperThread(std::function<void()> work) : task(std::move(work)) {}
    void Offer() {
        {
            std::lock_guard lock(mutex);
            offered = true;
        }
        wake.notify_one();
    }
    // Withdraws the task if it was not taken up, else waits until it is done.
    void Finish() {
        std::unique_lock lock(mutex);
        offered = false;
        finished.wait(lock, [this] { return !running; });
    }

  private:
    void Loop(std::stop_token stop) {
        std::unique_lock lock(mutex);
        for (;;) {
            if (!wake.wait(lock, stop, [this] { return offered; })) return;
            offered = false;
            running = true;
            lock.unlock();
            task();
            lock.lock();
            running = false;
            finished.notify_one();
        }
    }

    std::function<void()> task;
    std::mutex mutex;
    std::condition_variable_any wake;
    std::condition_variable finished;
    bool offered = false;  // guarded by mutex
    bool running = false;
    std::jthread thread{[this](std::stop_token stop) { Loop(stop); }};  // starts last
};

// The level in dB of a subband's largest scale factor, 20 log10(scale * 32768), as std::log10
// gives it, remembered for the values seen last: the scale factors come from a table of 63,
// so nearly every frame finds its values here.
class ScaleLevels {
  public:
    double operator()(double scale) {
        const auto bits = std::bit_cast<std::uint64_t>(scale);
        Entry& entry = entries[((bits >> 52) ^ (bits >> 44)) % kEntries];
        if (!entry.taken || entry.bits != bits) {
            entry = {bits, true, 20.0 * std::log10(scale * kFullScale)};
        }
        return entry.level;
    }

  private:
    static constexpr std::uint64_t kEntries = 256;
    struct Entry {
        std::uint64_t bits = 0;
        bool taken = false;
        double level = 0.0;
    };
    std::array<Entry, kEntries> entries{};
};

}  // namespace

struct PsychoacousticModel::State {
    // The frame being analysed.
    struct Job {
        std::array<bool, kPsySlots> silent{};  // the slot's windowed block is all zero
        int sideUnits = 0;                     // units of side work, taken before the slots
        int slots = 0;
        int sblimit = 0;
        int entries = 0;
        bool limitedCentre = false;
    };

    ModelTables tables;
    // Per slot, the last samples of the frame before, which start the next block, and the
    // windowed block of the frame being analysed.
    std::array<std::array<double, kTailSamples>, kPsySlots> tails{};
    std::array<LineLevelFft::Block, kPsySlots> blocks{};
    SlotWork own{tables};
    SlotWork helperWork{tables};
    const SlotWork* lastSlotWork = &own;  // the work that analysed the last slot
    Job job;
    // Per slot, the minimum mask and spike of the frame analysed, until they are collected.
    std::array<std::array<double, kSubbands>, kPsySlots> slotMinMask{};
    std::array<std::array<double, kSubbands>, kPsySlots> slotSpike{};
    bool started = false;  // a frame's slots are offered and not yet collected
    int sideWorkUnits = 0;
    std::function<void(int)> sideWork;
    std::atomic<int> nextSlot{0};  // next unit to take: side units, then slots
    std::atomic<int> sideDone{0};
    std::mutex sideMutex;  // with sideFinished, wakes the caller waiting for the side work
    std::condition_variable sideFinished;
    ScaleLevels scaleLevels;
    std::unique_ptr<HelperThread> helper;

    explicit State(bool withHelperThread);
    void RunSlots(SlotWork& work);
    // Runs side unit u and counts it done; the last one wakes the caller if it waits.
    void RunSideUnit(int u);
    void AnalyseSlot(SlotWork& work, int s);
    // Takes the tables of the frame's layer and sampling frequency; new ones start silent.
    void SelectTables(const PsyFrameInfo& info);
    // The tail of a mixed slot: the weighted sum of the tails of slots from[0, count).
    void MixTails(const int* from, const double* weights, int count, double* mixed) const;
    // Keeps the end of slot s's new frame for the next block.
    void KeepTail(int s, const double* samples);
    // Takes in the frame's slots: windows each block (when `window`) and keeps each tail.
    void TakeSlots(const PsySlotRows& slotRows, const PsyFrameInfo& info, bool window);
};

PsychoacousticModel::State::State(bool withHelperThread) {
    // The slots are independent: a second core takes part of them.
    if (withHelperThread && std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::make_unique<HelperThread>([this] { RunSlots(helperWork); });
        } catch (const std::system_error&) {
            helper.reset();  // no thread to be had: the calling thread takes every slot
        }
    }
}

void PsychoacousticModel::State::RunSlots(SlotWork& work) {
    const int units = job.sideUnits + job.slots;
    for (int u = nextSlot.fetch_add(1); u < units; u = nextSlot.fetch_add(1)) {
        if (u < job.sideUnits) {
            RunSideUnit(u);
            continue;
        }
        const int s = u - job.sideUnits;
        AnalyseSlot(work, s);
        if (s == job.slots - 1) lastSlotWork = &work;
    }
}

void PsychoacousticModel::State::RunSideUnit(int u) {
    sideWork(u);
    if (sideDone.fetch_add(1, std::memory_order_acq_rel) + 1 == job.sideUnits) {
        { const std::lock_guard guard(sideMutex); }  // a waiter is asleep or sees the count
        sideFinished.notify_one();
    }
}

void PsychoacousticModel::State::KeepTail(int s, const double* samples) {
    std::copy(samples + kFrameSamples - kTailSamples, samples + kFrameSamples, tails[s].begin());
}

void PsychoacousticModel::State::TakeSlots(const PsySlotRows& slotRows, const PsyFrameInfo& info,
                                           bool window) {
    const int slots = SlotsOf(info);
    const int mixed = std::clamp(info.mixedSlots, 0, std::min(2, slots));
    for (int s = mixed; s < slots; ++s) {
        if (window) {
            job.silent[s] = !tables.spectrum.Window(tails[s].data(), slotRows[s], blocks[s]);
        }
        KeepTail(s, slotRows[s]);
    }
    for (int m = 0; m < mixed; ++m) {
        std::array<int, kPsySlots> from{};
        std::array<const LineLevelFft::Block*, kPsySlots> sources{};
        std::array<double, kPsySlots> weights{};
        int count = 0;
        for (int s = mixed; s < slots; ++s) {
            if (info.mix[m][s] == 0.0) continue;
            from[count] = s;
            sources[count] = &blocks[s];
            weights[count] = info.mix[m][s];
            ++count;
        }
        // The block starts with the slot's own tail, which is then mixed from the new ones.
        if (window) {
            job.silent[m] = !tables.spectrum.Mix(tails[m].data(), sources.data(), weights.data(),
                                                 count, blocks[m]);
        }
        MixTails(from.data(), weights.data(), count, tails[m].data());
    }
}

void PsychoacousticModel::State::MixTails(const int* from, const double* weights, int count,
                                          double* mixed) const {
    // In lanes, each sample summed in the order of the sources.
    for (int j = 0; j < kTailSamples; j += 4) {
        PsyDoubles4 sum{};
        for (int n = 0; n < count; ++n) {
            PsyDoubles4 source;
            ReadLanes(source, &tails[from[n]][j]);
            sum += weights[n] * source;
        }
        WriteLanes(mixed + j, sum);
    }
}

void PsychoacousticModel::State::SelectTables(const PsyFrameInfo& info) {
    if (tables.Select(info.layer, info.samplingFrequencyCode)) {
        for (auto& tail : tails) tail.fill(0.0);
    }
}

void PsychoacousticModel::State::AnalyseSlot(SlotWork& work, int s) {
    const bool silent = job.silent[s];
    if (silent) {
        FillLanes(work.x.data(), kPaddedLines, tables.floorDb);
    } else {
        work.Spectrum(blocks[s]);
    }
    if (job.limitedCentre && s == kCentreSlot) {
        std::fill(work.x.begin() + kLimitedCentreFirstLine, work.x.end(), kLimitedCentreDb);
        std::fill(work.power.begin() + kLimitedCentreFirstLine, work.power.end(),
                  tables.limitedCentrePower);
    }
    work.SpectralMaxima();
    if (silent) {
        // A silent block has no local maximum that stands out, and its band sums (at most
        // 512 lines of -103.67 dB) lie far below every threshold in quiet: no components.
        work.tone = kListEnd;
        work.noise = kListEnd;
    } else {
        work.FindTonal();
        work.FindNoise();
        work.DropInaudible(work.tone);
        work.DropInaudible(work.noise);
        work.DecimateTonal();
    }
    work.GlobalThreshold(job.entries);
    work.MinimumMask(job.sblimit, slotMinMask[s].data());
    slotSpike[s] = work.spike;
}

ModelTables::ModelTables() {
    noisePowerOfDbMin = DbPower(kDbMin);
    individualPowerOfDbMin = static_cast<float>(std::pow(10.0, kDbMin / kSumIndividual));
    floorDb = spectrum.FloorDb();
    limitedCentrePower = DbPower(kLimitedCentreDb);
    individualToBase2 = std::log2(10.0) / kSumIndividual;
    quietToBase2 = std::log2(10.0) / kAddQuiet;
}

bool ModelTables::Select(int newLayer, int newSamplingCode) {
    if (initialised && newLayer == layer && newSamplingCode == samplingCode) return false;
    initialised = true;
    layer = newLayer;
    samplingCode = newSamplingCode;
    table = Ltg(layer, samplingCode);
    bounds = Cbound(layer, samplingCode);
    lastRow = LtgRows(layer, samplingCode);

    // Line map: the lines from one entry's line to the next one's belong to the next entry;
    // lines above the table's last line belong to its last entry.
    std::array<int, kLines> map{};
    map.fill(lastRow);
    for (int i = 1; i < kThresholdEntries; ++i) {
        for (int j = table[i - 1].line; j <= table[i].line && j < kLines; ++j) map[j] = i;
    }
    for (int j = 0; j < kLines; ++j) {
        lineBark[j] = table[map[j]].bark;
        lineHear[j] = table[map[j]].hear;
    }
    // The rows ascend in Bark.
    for (int j = 0; j < kLines; ++j) {
        const double z = lineBark[j];
        const auto* rows = table.data();
        const auto* end = rows + lastRow + 1;
        const auto* first = std::partition_point(
            rows + 1, end, [z](const ThresholdEntry& e) { return e.bark - z < kMaskBelowBark; });
        const auto* last = std::partition_point(
            first, end, [z](const ThresholdEntry& e) { return e.bark - z < kMaskAboveBark; });
        lineMasks[j] = {static_cast<int>(first - rows), static_cast<int>(last - rows)};
    }
    for (int i = 0; i < kThresholdEntries; ++i) {
        entryBark[i] = static_cast<float>(table[i].bark);
        entryBarkRest[i] = static_cast<float>(table[i].bark - entryBark[i]);
    }
    int e = 1;
    for (int sb = 0; sb < kSubbands; ++sb) {
        if (e >= kThresholdEntries - 1) {
            subbandEntries[sb] = {-1, -1};
            continue;
        }
        const int first = e;
        while (e < kThresholdEntries && table[e].line / kLinesPerSubband == sb) ++e;
        subbandEntries[sb] = {first, e};
    }
    for (int i = 1; i < kThresholdEntries; ++i) {
        quietPower[i] =
            static_cast<float>(std::pow(10.0, (table[i].hear - kQuietLoweringDb) / kAddQuiet));
        quietOnly[i] =
            static_cast<float>(AddPower(table[i].hear - kQuietLoweringDb, kDbMin, kQuietScale));
    }
    return true;
}

namespace {

// Whether any lane of a comparison's result is set.
[[gnu::always_inline]] inline bool AnyLane(const PsyInts8& lanes) {
    std::int32_t any = 0;
#pragma GCC unroll 8
    for (int lane = 0; lane < kFloatLaneCount; ++lane) any |= lanes[lane];
    return any != 0;
}

// The power of each component's individual masking threshold: the spreading function is
// piecewise linear in the distance dz (Bark) from the component.
[[gnu::always_inline]] inline void AddMaskerBody(const float* bark, const float* barkRest, int from,
                                                 int to, double z, double level, double index,
                                                 double toBase2, float* sum, float* masked) {
    double g = 0.4 * level + 6.0;
    if (!(g > 17.0)) g = 17.0;
    const auto gain = static_cast<float>(g);
    const auto slopeAbove = static_cast<float>(17.0 - 0.1 * level);
    const auto centre = static_cast<float>(z);
    const auto centreRest = static_cast<float>(z - centre);
    const auto offset = static_cast<float>(index);
    const auto scale = static_cast<float>(toBase2);
    for (int i = from; i < to; i += kFloatLaneCount) {
        PsyFloats8 b, bRest, s, power, isMasked;
        ReadLanes(b, bark + i);
        ReadLanes(bRest, barkRest + i);
        ReadLanes(s, sum + i);
        ReadLanes(isMasked, masked + i);
        const PsyFloats8 dz = (b - centre) + (bRest - centreRest);
        const PsyFloats8 below = 17.0f * (dz + 1.0f) - gain;
        const PsyFloats8 rising = gain * dz;
        const PsyFloats8 falling = -18.0f * dz;
        const PsyFloats8 above = -(dz - 1.0f) * slopeAbove - 18.0f;
        const PsyFloats8 spread =
            dz < -1.0f ? below : (dz < 0.0f ? rising : (dz < 1.0f ? falling : above));
        Exp2Lanes((offset + spread) * scale, power);
        const PsyInts8 inRange = kFloatLanes + static_cast<float>(i) < static_cast<float>(to);
        WriteLanes(sum + i, s + (inRange ? power : PsyFloats8{}));
        WriteLanes(masked + i, inRange ? 1.0f - PsyFloats8{} : isMasked);
    }
}

// The threshold in quiet enters lowered by 12 dB: AddPower(hear - 12, x, 3), with the power of
// the quiet term taken from the tables. The summed level's power on that scale is
// 10^(kSumIndividual log10(P) / kAddQuiet) = P^(kSumIndividual / kAddQuiet).
[[gnu::always_inline]] inline void ThresholdsBody(const ModelTables& t, const float* sum,
                                                  const float* masked, int entries,
                                                  float* threshold) {
    constexpr auto kRatio = static_cast<float>(kSumIndividual / kAddQuiet);
    const auto fromBase2 = static_cast<float>(1.0 / t.quietToBase2);
    for (int i = 1; i < entries; i += kFloatLaneCount) {
        PsyFloats8 s, quiet, alone, isMasked, log2Sum, power, log2Total;
        ReadLanes(s, sum + i);
        ReadLanes(quiet, &t.quietPower[i]);
        ReadLanes(alone, &t.quietOnly[i]);
        ReadLanes(isMasked, masked + i);
        const PsyInts8 taken = isMasked != 0.0f;
        if (!AnyLane(taken)) {
            WriteLanes(threshold + i, alone);  // no component reaches these entries
            continue;
        }
        Log2Lanes(s, log2Sum);
        Exp2Lanes(log2Sum * kRatio, power);
        Log2Lanes(quiet + power, log2Total);
        WriteLanes(threshold + i, taken ? log2Total * fromBase2 : alone);
    }
}

void AddMaskerPlain(const float* bark, const float* barkRest, int from, int to, double z,
                    double level, double index, double toBase2, float* sum, float* masked) {
    AddMaskerBody(bark, barkRest, from, to, z, level, index, toBase2, sum, masked);
}

[[gnu::target("avx2")]] void AddMaskerAvx2(const float* bark, const float* barkRest, int from,
                                           int to, double z, double level, double index,
                                           double toBase2, float* sum, float* masked) {
    AddMaskerBody(bark, barkRest, from, to, z, level, index, toBase2, sum, masked);
}

void ThresholdsPlain(const ModelTables& t, const float* sum, const float* masked, int entries,
                     float* threshold) {
    ThresholdsBody(t, sum, masked, entries, threshold);
}

[[gnu::target("avx2")]] void ThresholdsAvx2(const ModelTables& t, const float* sum,
                                            const float* masked, int entries, float* threshold) {
    ThresholdsBody(t, sum, masked, entries, threshold);
}

// Bit j of `rising` tells whether line j lies above line j - 1: line k is a local maximum where
// bit k is set and bit k + 1 is not (it is not below the next one).
[[gnu::always_inline]] inline void MaximaFromRising(const std::uint64_t* rising,
                                                    std::uint64_t* bits) {
    constexpr std::uint64_t kCandidates[kMaximaWords] = {
        ~std::uint64_t{3}, ~std::uint64_t{0}, ~std::uint64_t{0}, ~std::uint64_t{0},
        ~std::uint64_t{0}, ~std::uint64_t{0}, ~std::uint64_t{0}, (std::uint64_t{1} << 52) - 1};
    static_assert(kFirstCandidate == 2 && kLastCandidate == 7 * 64 + 51);
    for (int w = 0; w < kMaximaWords; ++w) {
        const std::uint64_t above = (rising[w] >> 1) | (rising[w + 1] << 63);
        bits[w] = rising[w] & ~above & kCandidates[w];
    }
}

// Per lane, the largest of the values read from a, b, c and d: the levels are finite, so any
// order gives the same.
template <typename Lanes>
[[gnu::always_inline]] inline void WriteLargest(double* out, const double* a, const double* b,
                                                const double* c, const double* d) {
    Lanes va, vb, vc, vd;
    ReadLanes(va, a);
    ReadLanes(vb, b);
    ReadLanes(vc, c);
    ReadLanes(vd, d);
    va = va > vb ? va : vb;
    vc = vc > vd ? vc : vd;
    WriteLanes(out, va > vc ? va : vc);
}

// Bit i of the result for lane i of a comparison's result.
typedef std::int64_t Ints2 __attribute__((vector_size(16)));
[[gnu::always_inline]] inline std::uint64_t LaneBits(const Ints2& lanes) {
    return static_cast<std::uint64_t>(__builtin_ia32_movmskpd(reinterpret_cast<Doubles2>(lanes)));
}

// Four lanes, in one instruction with AVX2 (which clang wants in a function built for AVX);
// with clang through the sign bits of four 32-bit lanes.
[[gnu::always_inline]] inline std::uint64_t LaneBits(const PsyInts4& lanes) {
#if !defined(__clang__)
    return static_cast<std::uint64_t>(
        __builtin_ia32_movmskpd256(reinterpret_cast<PsyDoubles4>(lanes)));
#else
    typedef float Floats4 __attribute__((vector_size(16)));
    const auto halves = reinterpret_cast<PsyInts8>(lanes);
    const auto signs = __builtin_shufflevector(halves, halves, 1, 3, 5, 7);
    return static_cast<std::uint64_t>(__builtin_ia32_movmskps(reinterpret_cast<Floats4>(signs)));
#endif
}

// The tonal search's window on either side of a line widens with the line (TonalRun): 2, 3,
// 6 or 12 lines. Its largest level is the larger of two overlapping runs of 1, 2, 4 or 8
// lines, which are taken once for all lines; then the lines, in lanes, compare their levels
// with the windows' and with the line below. Four lanes with AVX2, else two.
template <bool kWide>
[[gnu::always_inline]] inline void CandidatesBody(const double* x, std::uint64_t* maxima,
                                                  std::uint64_t* above) {
    using Lanes = std::conditional_t<kWide, PsyDoubles4, Doubles2>;
    constexpr int kWidth = sizeof(Lanes) / sizeof(double);
    // Each stretch of one run is a whole number of fours.
    static_assert((kRunOf3From - kFirstCandidate) % 4 == 0 &&
                  (kRunOf6From - kRunOf3From) % 4 == 0 && (kRunOf12From - kRunOf6From) % 4 == 0 &&
                  TonalRun(kLastCandidate) == kWidestRun);
    constexpr double kNone = -std::numeric_limits<double>::infinity();
    // The largest of lines [i, i + 4) and [i, i + 8), from the first line the windows of 6 and
    // of 12 read.
    constexpr int kFourFrom = kRunOf6From - 6;
    constexpr int kEightFrom = (kRunOf12From - kWidestRun) / 4 * 4;
    alignas(32) double four[kLines];
    alignas(32) double eight[kLines];
    // Per line, the largest level in its windows.
    alignas(32) double peak[kLines];
    for (int i = kFourFrom; i < kLines; i += kWidth) {
        WriteLargest<Lanes>(four + i, x + i, x + i + 1, x + i + 2, x + i + 3);
    }
    for (int i = kEightFrom; i < kLines - 8; i += kWidth) {
        WriteLargest<Lanes>(eight + i, four + i, four + i, four + i + 4, four + i + 4);
    }
    std::fill(peak, peak + kFirstCandidate, kNone);
    std::fill(peak + kLastCandidate + 1, peak + kLines, kNone);
    for (int k = kFirstCandidate; k < kRunOf3From; k += kWidth) {
        WriteLargest<Lanes>(peak + k, x + k - 2, x + k - 2, x + k + 2, x + k + 2);
    }
    for (int k = kRunOf3From; k < kRunOf6From; k += kWidth) {
        WriteLargest<Lanes>(peak + k, x + k - 3, x + k - 2, x + k + 2, x + k + 3);
    }
    for (int k = kRunOf6From; k < kRunOf12From; k += kWidth) {
        WriteLargest<Lanes>(peak + k, four + k - 6, four + k - 5, four + k + 2, four + k + 3);
    }
    for (int k = kRunOf12From; k < kLastCandidate; k += kWidth) {
        WriteLargest<Lanes>(peak + k, eight + k - 12, four + k - 5, eight + k + 2, four + k + 9);
    }
    std::uint64_t rising[kMaximaWords + 1] = {};
    for (int w = 0; w < kMaximaWords; ++w) {
        std::uint64_t risingWord = 0;
        std::uint64_t aboveWord = 0;
#pragma GCC unroll 32
        for (int bit = 0; bit < 64; bit += kWidth) {
            const int k = 64 * w + bit;
            Lanes level, window;
            ReadLanes(level, x + k);
            ReadLanes(window, peak + k);
            aboveWord |= LaneBits(level - kTonalMarginDb < window) << bit;
            if (k < kFirstCandidate) {
                // Lines 0 and 1 are no candidates, and line 0 has none below it.
                risingWord = static_cast<std::uint64_t>((x[2] > x[1]) | ((x[3] > x[2]) << 1)) << 2;
                continue;
            }
            Lanes below;
            ReadLanes(below, x + k - 1);
            risingWord |= LaneBits(level > below) << bit;
        }
        rising[w] = risingWord;
        above[w] = aboveWord;
    }
    MaximaFromRising(rising, maxima);
}

void CandidatesPlain(const double* x, std::uint64_t* maxima, std::uint64_t* above) {
    CandidatesBody<false>(x, maxima, above);
}

[[gnu::target("avx2")]] void CandidatesAvx2(const double* x, std::uint64_t* maxima,
                                            std::uint64_t* above) {
    CandidatesBody<true>(x, maxima, above);
}

[[gnu::always_inline]] inline bool NoiseBandBody(double* x, const double* power, const int* type,
                                                 const double* bark, int lo, int hi,
                                                 double bandBark, double& powerSum,
                                                 double& weightedSum) {
    // Four lines at a time; lanes past the band add nothing and keep their level.
    PsyDoubles4 powers{};
    PsyDoubles4 weighted{};
    PsyInts4 taken{};
    for (int j = lo; j < hi; j += 4) {
        PsyDoubles4 level, linePower, lineBark;
        LineTypes4 lineType;
        ReadLanes(level, x + j);
        ReadLanes(linePower, power + j);
        ReadLanes(lineBark, bark + j);
        ReadLanes(lineType, type + j);
        // Each 32-bit comparison's result twice over gives the 64-bit lanes' mask.
        const LineTypes4 tonal = lineType == kTypeTonal;
        const PsyInts4 notTonal =
            ~(PsyInts4)__builtin_shufflevector(tonal, tonal, 0, 0, 1, 1, 2, 2, 3, 3);
        const PsyInts4 take = (kLanes + j < hi) & notTonal & (level != kDbMin);
        const PsyDoubles4 added = take ? linePower : PsyDoubles4{};
        powers += added;
        weighted += added * (lineBark - bandBark);
        taken |= take;
        WriteLanes(x + j, take ? kDbMin - PsyDoubles4{} : level);
    }
    powerSum = (powers[0] + powers[1]) + (powers[2] + powers[3]);
    weightedSum = (weighted[0] + weighted[1]) + (weighted[2] + weighted[3]);
    return (taken[0] | taken[1] | taken[2] | taken[3]) != 0;
}

// Each band's lines are summed as powers, from the power of kDbMin, into a component on the
// band's power-weighted mean line; its level in dB is taken once at the end.
[[gnu::always_inline]] inline void FindNoiseBody(SlotWork& w) {
    const ModelTables& t = w.t;
    w.noise = kListEnd;
    int previous = kListEnd;
    for (int i = 0; i < kNoiseBands; ++i) {
        const int lo = t.bounds[i];
        const int hi = t.bounds[i + 1];
        double powerSum = 0.0;
        double index = 0.0;
        const bool summed = NoiseBandBody(w.x.data(), w.power.data(), w.type.data(),
                                          t.lineBark.data(), lo, hi, i, powerSum, index);
        const double sumPower = t.noisePowerOfDbMin + powerSum;
        const double sum = summed ? kDbPerOctave * t.log2(sumPower) : kDbMin;
        int q = (lo + hi) / 2;
        if (lo < hi && sum > kDbMin) {
            q = lo + static_cast<int>(index / sumPower * (hi - lo));  // truncated toward zero
        }
        q = std::clamp(q, 0, kLines - 1);
        if (w.type[q] == kTypeTonal && q + 1 < kLines) ++q;
        if (previous == kListEnd) {
            w.noise = q;
        } else if (q != previous) {
            w.next[q] = kListEnd;
            w.next[previous] = q;
        } else {
            // Two bands on one line: the later sum already holds the earlier one; linking
            // the line to itself would loop for ever.
            w.next[q] = kListEnd;
        }
        w.x[q] = sum;
        w.power[q] = sumPower;
        w.type[q] = kTypeNoise;
        previous = q;
    }
}

void FindNoisePlain(SlotWork& w) {
    FindNoiseBody(w);
}

[[gnu::target("avx2")]] void FindNoiseAvx2(SlotWork& w) {
    FindNoiseBody(w);
}

AddMaskerFunction PickAddMasker() {
    return HasAvx2() ? AddMaskerAvx2 : AddMaskerPlain;
}

ThresholdFunction PickThresholds() {
    return HasAvx2() ? ThresholdsAvx2 : ThresholdsPlain;
}

NoiseFunction PickNoise() {
    return HasAvx2() ? FindNoiseAvx2 : FindNoisePlain;
}

CandidateFunction PickCandidates() {
    return HasAvx2() ? CandidatesAvx2 : CandidatesPlain;
}

}  // namespace

void SlotWork::Spectrum(LineLevelFft::Block& block) {
    t.spectrum.Levels(block, fftWork, x.data(), power.data());
    static_assert(kTypeNone == 0);
    std::memset(type.data(), 0, sizeof type);
}

void SlotWork::SpectralMaxima() {
    for (int sb = 0; sb < kSubbands; ++sb) {
        const double* line = &x[sb * kLinesPerSubband];
        // Two lanes, which every x86-64 processor has.
        Doubles2 peak = kDbMin - Doubles2{};
#pragma GCC unroll 8
        for (int k = 0; k < kLinesPerSubband; k += 2) {
            Doubles2 v;
            ReadLanes(v, line + k);
            peak = v > peak ? v : peak;
        }
        spike[sb] = std::max(peak[0], peak[1]);
    }
}

// The candidates' lines in ascending order, one set bit after the other.
class CandidateWalk {
  public:
    explicit CandidateWalk(const std::array<std::uint64_t, kMaximaWords>& candidateBits)
        : bits(candidateBits) {}
    // The first candidate at or after `from`, or kListEnd; the walk goes on from there.
    int From(int from) {
        if (from >= kLines) return kListEnd;
        word = from / 64;
        rest = bits[word] & (~std::uint64_t{0} << (from % 64));
        return Next();
    }
    // The candidate after the one returned last, or kListEnd.
    int Next() {
        while (rest == 0) {
            if (++word == kMaximaWords) return kListEnd;
            rest = bits[word];
        }
        const int k = 64 * word + std::countr_zero(rest);
        rest &= rest - 1;
        return k;
    }

  private:
    const std::array<std::uint64_t, kMaximaWords>& bits;
    int word = 0;
    std::uint64_t rest = 0;  // the bits of `word` not yet returned
};

// Whether a line 2 to `run` lines away from line k, on either side, lies above `floor`.
bool NeighbourAbove(const double* x, int k, int run, double floor) {
    for (int j = 2; j <= run; ++j) {
        if (floor < x[k - j] || floor < x[k + j]) return true;
    }
    return false;
}

bool HasBit(const std::array<std::uint64_t, kMaximaWords>& bits, int k) {
    return ((bits[k / 64] >> (k % 64)) & 1) != 0;
}

void SlotWork::FindTonal() {
    // Candidates: local maxima, taken in ascending order; the components found are linked.
    std::array<std::uint64_t, kMaximaWords> maxima;
    std::array<std::uint64_t, kMaximaWords> above;
    t.candidates(x.data(), maxima.data(), above.data());
    // A candidate whose lines no component has changed yet is settled by `above`: the walk
    // takes those that pass and, after each component, those whose lines it changed, which
    // are tested again.
    std::array<std::uint64_t, kMaximaWords> walk;
    for (int w = 0; w < kMaximaWords; ++w) walk[w] = maxima[w] & ~above[w];
    CandidateWalk candidates(walk);
    int changedTo = -kLines;  // the last line a component has changed
    int last = kListEnd;
    int lastButOne = kListEnd;
    tone = kListEnd;
    for (int k = candidates.From(0); k >= 0;) {
        const int run = kTonalRuns[k];
        if (k - run <= changedTo ? NeighbourAbove(x.data(), k, run, x[k] - kTonalMarginDb)
                                 : HasBit(above, k)) {
            k = candidates.Next();
            continue;
        }
        type[k] = kTypeTonal;
        if (tone == kListEnd) tone = k;
        if (last != kListEnd) {
            next[last] = k;
            if (k - last <= run) {
                // The previous component lies in k's run and is cleared below: unlink it.
                if (lastButOne != kListEnd) {
                    next[lastButOne] = k;
                } else {
                    tone = k;
                }
            }
        }
        if (k > 1 && k < kOwnLevelFrom) {
            x[k] = kDbPerOctave * t.log2(LinePower(k) + (LinePower(k - 1) + LinePower(k + 1)));
        }
        for (int j = 1; j <= run; ++j) {
            x[k - j] = kDbMin;
            x[k + j] = kDbMin;
            type[k - j] = kTypeNone;
            type[k + j] = kTypeNone;
            next[k - j] = kNoList;
            next[k + j] = kNoList;
        }
        lastButOne = last;
        last = k;
        // Candidates within the run above k are absorbed by it; those whose windows reach
        // into it are tested again.
        changedTo = k + run;
        for (int j = changedTo + 1; j <= std::min(changedTo + kWidestRun, kLines - 1); ++j) {
            if (HasBit(maxima, j)) walk[j / 64] |= std::uint64_t{1} << (j % 64);
        }
        k = candidates.From(changedTo + 1);
    }
    if (last != kListEnd) next[last] = kListEnd;
}

void SlotWork::FindNoise() {
    t.findNoise(*this);
}

void SlotWork::DropInaudible(int& head) {
    int previous = kListEnd;
    for (int k = head; k >= 0;) {
        const int following = next[k];
        if (x[k] < t.lineHear[k]) {
            type[k] = kTypeNone;
            x[k] = kDbMin;
            if (previous == kListEnd) {
                head = following;
            } else {
                next[previous] = following;
            }
        } else {
            previous = k;
        }
        k = following;
    }
}

void SlotWork::DecimateTonal() {
    int previous = kListEnd;
    int k = tone;
    while (k >= 0) {
        const int m = next[k];
        if (m < 0) break;
        if (t.lineBark[m] - t.lineBark[k] < kDecimationBark) {
            if (x[m] > x[k]) {
                if (previous == kListEnd) {
                    tone = m;
                } else {
                    next[previous] = m;
                }
                type[k] = kTypeNone;
                x[k] = kDbMin;
                k = m;
            } else {
                type[m] = kTypeNone;
                x[m] = kDbMin;
                next[k] = next[m];
            }
        } else {
            previous = k;
            k = m;
        }
    }
}

// Adds the individual threshold of the component on line k to the entries it masks.
void SlotWork::AddMasker(int k, double indexDb, int entries) {
    const double z = t.lineBark[k];
    const double level = x[k];
    const double index = level - 0.3 * z - indexDb;
    const int rowsEnd = std::min(entries, t.lastRow + 1);
    const float* bark = t.entryBark.data();
    const auto add = [&](int from, int to) {
        t.addMasker(bark, t.entryBarkRest.data(), from, to, z, level, index, t.individualToBase2,
                    sum.data(), masked.data());
    };
    const int last = std::min(t.lineMasks[k].second, rowsEnd);
    const int first = std::min(t.lineMasks[k].first, last);
    if (first < last) add(first, last);
    // Zero records past the rows sit at 0 Bark: all of them are masked or none.
    const double dz = 0.0 - z;
    if (rowsEnd < entries && dz >= kMaskBelowBark && dz < kMaskAboveBark) add(rowsEnd, entries);
}

// Every entry sums the individual thresholds of the components on the power scale
// 10^(lt / kSumIndividual), from the power of kDbMin: the chain of dB additions
// k log10(10^(a / k) + 10^(b / k)) without its round trips through dB.
void SlotWork::GlobalThreshold(int entries) {
    sum.fill(t.individualPowerOfDbMin);
    std::memset(masked.data(), 0, sizeof masked);
    for (int k = tone; k >= 0; k = next[k]) AddMasker(k, kTonalIndexDb, entries);
    for (int k = noise; k >= 0; k = next[k]) AddMasker(k, kNoiseIndexDb, entries);
    t.thresholds(t, sum.data(), masked.data(), entries, threshold.data());
}

void SlotWork::MinimumMask(int sblimit, double* minMask) const {
    for (int sb = 0; sb < sblimit; ++sb) {
        const int first = t.subbandEntries[sb].first;
        if (first < 0) {
            minMask[sb] = t.table[kThresholdEntries - 1].hear;
            continue;
        }
        float m = threshold[first];
        for (int e = first; e < t.subbandEntries[sb].second; ++e) m = std::min(m, threshold[e]);
        minMask[sb] = m;
    }
}

std::vector<PsychoacousticModel::Component> SlotWork::Components(int head) const {
    std::vector<PsychoacousticModel::Component> list;
    for (int k = head; k >= 0 && list.size() < kLines; k = next[k]) {
        list.push_back({k, x[k], t.lineBark[k]});
    }
    return list;
}

PsychoacousticModel::PsychoacousticModel(bool withHelperThread)
    : state(std::make_unique<State>(withHelperThread)) {}

PsychoacousticModel::~PsychoacousticModel() {
    // Slots not yet taken are dropped; the helper's slot in progress is waited for.
    State& st = *state;
    st.nextSlot = std::numeric_limits<int>::max() / 2;
    if (st.helper) st.helper->Finish();
}

std::vector<PsychoacousticModel::Component> PsychoacousticModel::TonalComponents() const {
    return state->lastSlotWork->Components(state->lastSlotWork->tone);
}

std::vector<PsychoacousticModel::Component> PsychoacousticModel::NoiseComponents() const {
    return state->lastSlotWork->Components(state->lastSlotWork->noise);
}

void PsychoacousticModel::ComputeMasking(const double (*slotSamples)[1152],
                                         const double (*maxScale)[32], const PsyFrameInfo& info,
                                         double (*minMask)[32], double (*signalToMask)[32],
                                         double (*spike)[32]) {
    StartMasking(slotSamples, info);
    FinishMasking(maxScale, minMask, signalToMask, spike);
}

void PsychoacousticModel::Restart() {
    State& st = *state;
    FinishSlots();
    for (auto& tail : st.tails) tail.fill(0.0);
}

void PsychoacousticModel::Prime(const double (*slotSamples)[1152], const PsyFrameInfo& info) {
    Prime(RowsOf(slotSamples), info);
}

void PsychoacousticModel::Prime(const PsySlotRows& slotRows, const PsyFrameInfo& info) {
    State& st = *state;
    FinishSlots();
    st.SelectTables(info);
    st.TakeSlots(slotRows, info, false);
}

void PsychoacousticModel::SetSideWork(int units, std::function<void(int)> run) {
    FinishSlots();
    state->sideWorkUnits = units;
    state->sideWork = std::move(run);
}

void PsychoacousticModel::FinishSideWork() {
    State& st = *state;
    const int units = st.job.sideUnits;
    for (int u = st.nextSlot.load(); u < units;) {
        if (st.nextSlot.compare_exchange_weak(u, u + 1)) {
            st.RunSideUnit(u);
            ++u;
        }
    }
    // The helper's units in progress end within microseconds.
    std::unique_lock guard(st.sideMutex);
    st.sideFinished.wait(guard,
                         [&] { return st.sideDone.load(std::memory_order_acquire) == units; });
}

void PsychoacousticModel::StartMasking(const double (*slotSamples)[1152], const PsyFrameInfo& info,
                                       bool withSideWork) {
    StartMasking(RowsOf(slotSamples), info, withSideWork);
}

void PsychoacousticModel::StartMasking(const PsySlotRows& slotRows, const PsyFrameInfo& info,
                                       bool withSideWork) {
    State& st = *state;
    FinishSlots();  // a frame never collected is dropped
    st.SelectTables(info);
    auto& job = st.job;
    job.slots = SlotsOf(info);
    st.TakeSlots(slotRows, info, true);
    job.sblimit = std::clamp(info.sblimit, 0, kSubbands);
    job.entries = EntriesRead(st.tables.table, job.sblimit);
    job.limitedCentre = info.center == kLimitedCentre;
    job.sideUnits = withSideWork ? st.sideWorkUnits : 0;
    st.sideDone = 0;
    st.nextSlot = 0;
    st.started = true;
    if (st.helper) st.helper->Offer();
}

void PsychoacousticModel::FinishSlots() {
    State& st = *state;
    if (!st.started) return;
    st.started = false;
    st.RunSlots(st.own);
    if (st.helper) st.helper->Finish();
}

void PsychoacousticModel::FinishMasking(const double (*maxScale)[32], double (*minMask)[32],
                                        double (*signalToMask)[32], double (*spike)[32]) {
    FinishSlots();
    State& st = *state;
    for (int s = 0; s < st.job.slots; ++s) {
        std::copy(st.slotSpike[s].begin(), st.slotSpike[s].end(), spike[s]);
        for (int sb = 0; sb < st.job.sblimit; ++sb) {
            minMask[s][sb] = st.slotMinMask[s][sb];
            double level = st.scaleLevels(maxScale[s][sb]) - kSmrOffsetDb;
            if (level < spike[s][sb]) level = spike[s][sb];
            signalToMask[s][sb] = level - minMask[s][sb];
        }
    }
}

}  // namespace tavrisk::mp2
