// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/FrameSchedule.h"

#include "mp2enc/ChannelLayout.h"
#include "mp2enc/MpegHeader.h"
#include "mp2enc/PsychoacousticModel.h"
#include "mp2enc/TcAllocation.h"

namespace tavrisk::mp2 {
namespace {

constexpr int kDematrixProcedures = 4;

}  // namespace

int ChooseDematrixProcedure(int choice, EncoderRandom& random) {
    if (choice >= 0) return choice;
    return RandomBelow(random, kDematrixProcedures);
}

void FrameSchedule::Start(const EncoderSettings& settings, const FrameLength& length) {
    dematrixChoice = settings.dematrixChoice;
    tcAllocChoice = settings.tcAllocChoice;
    const ChannelLayout layout = LayoutOf(settings.channels);
    config = layout.config;
    multichannel = layout.multichannel;
    place = FramePlace{};
    place.length = length;
    place.random.seed(kEncoderRandomSeed);
}

void FrameSchedule::Advance() {
    // A frame without extension has no matrix and draws nothing.
    const int procedure =
        multichannel ? ChooseDematrixProcedure(dematrixChoice, place.random) : kProcedureNoMatrix;
    if (multichannel && tcAllocChoice == kTcAllocRandom) {
        // Random allocations read no level: the same call as the encoder's draws the same.
        static constexpr double kNoLevels[kPsySlots][kSubbands] = {};
        MpegHeader header;
        header.dematrixProcedure = procedure;
        ChooseTcAlloc(header, kNoLevels, tcAllocChoice, place.random, config);
    }
    place.length.NextPadding();
    place.previousProcedure = procedure;
    ++place.frame;
}

}  // namespace tavrisk::mp2
