// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace tavrisk::mp2 {

constexpr int kPsySlots = 12;  // channel slots the model may process

// The 1152 samples of each channel slot (16-bit scale); only the slots processed are read.
using PsySlotRows = std::array<const double*, kPsySlots>;

struct PsyFrameInfo {
    int layer = 2;                  // 1 or 2
    int samplingFrequencyCode = 1;  // header code: 0 = 44.1 kHz, 1 = 48 kHz, 2 = 32 kHz
    int center = 0;                 // the frame's `center` field (3 = limited-bandwidth centre)
    int sblimit = 0;                // the compatible part's subband limit
    int stereoAug = 0;
    bool multichannel = true;
    // Slots [0, mixedSlots) (at most 2) may be weighted sums of the others, as the matrixed
    // Lo and Ro are: mix[m][s] is the weight of slot s >= mixedSlots in slot m. The model mixes
    // the others' windowed samples and never reads the rows of these slots.
    int mixedSlots = 0;
    std::array<std::array<double, kPsySlots>, 2> mix{};
};

// Psychoacoustic model 1: per channel slot, the signal-to-mask ratio of each subband.
// Slots processed: 2 when !multichannel; 12 when stereoAug == 2; else 7.
// The slots are shared between the calling thread and, on a machine with a second core, a
// helper thread of the model's own; the results never depend on which thread took a slot.
// A model made without the helper does everything on the calling thread (for callers that
// run models on every core already).
class PsychoacousticModel {
  public:
    // Allocates everything once; the stream starts after silence.
    explicit PsychoacousticModel(bool withHelperThread = true);
    ~PsychoacousticModel();
    PsychoacousticModel(const PsychoacousticModel&) = delete;
    PsychoacousticModel& operator=(const PsychoacousticModel&) = delete;

    // slotSamples: [kPsySlots][1152] in 16-bit scale; maxScale: [kPsySlots][32].
    // Writes minMask, signalToMask, spike: [kPsySlots][32] (dB), for the slots processed.
    void ComputeMasking(const double (*slotSamples)[1152], const double (*maxScale)[32],
                        const PsyFrameInfo& info, double (*minMask)[32], double (*signalToMask)[32],
                        double (*spike)[32]);

    // Starts a new stream: the samples kept are silent again, a frame started is dropped.
    void Restart();
    // Takes a frame's slots in without analysing them: a model started in the middle of a
    // stream is primed with the frame before its first one, and then analyses that one
    // exactly as a model that ran from the start.
    void Prime(const double (*slotSamples)[1152], const PsyFrameInfo& info);
    void Prime(const PsySlotRows& slotRows, const PsyFrameInfo& info);

    // The same in two steps, so that the caller can work while the slots are analysed:
    // startMasking takes the frame's samples in (the caller may change them as soon as it
    // returns) and offers the slots to the helper thread; finishMasking takes the slots not
    // yet taken, waits for the helper and writes the results. A frame started and never
    // finished is dropped by the next start.
    // With withSideWork, the units of the side work are taken first, by either thread; the
    // caller must call finishSideWork before it uses their results.
    void StartMasking(const double (*slotSamples)[1152], const PsyFrameInfo& info,
                      bool withSideWork = false);
    void StartMasking(const PsySlotRows& slotRows, const PsyFrameInfo& info,
                      bool withSideWork = false);
    // Other work of the caller's that the two threads share: run(i) for each unit i in
    // [0, units), units independent of each other. Set once; run must stay callable.
    void SetSideWork(int units, std::function<void(int)> run);
    // Takes the side units not yet taken and returns when every one is done.
    void FinishSideWork();
    void FinishMasking(const double (*maxScale)[32], double (*minMask)[32],
                       double (*signalToMask)[32], double (*spike)[32]);

    // A masking component of the last slot analysed: its line, level (dB) and Bark.
    struct Component {
        int line = 0;
        double level = 0.0;
        double bark = 0.0;
    };
    // The tonal and non-tonal components of the last slot analysed, in list order (inspection).
    std::vector<Component> TonalComponents() const;
    std::vector<Component> NoiseComponents() const;

  private:
    void FinishSlots();

    struct State;
    std::unique_ptr<State> state;
};

}  // namespace tavrisk::mp2
