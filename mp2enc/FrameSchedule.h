// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mp2enc/EncoderRandom.h"
#include "mp2enc/EncoderSettings.h"
#include "mp2enc/FrameLength.h"

namespace tavrisk::mp2 {

// The dematrix procedure of a frame: the fixed choice, or a random one.
int ChooseDematrixProcedure(int choice, EncoderRandom& random);

// Where a frame stands in its stream, in everything of its coding that follows from the
// settings and the frame's place alone, never from the signal.
struct FramePlace {
    long frame = 0;             // frames before it
    FrameLength length;         // the padding accounting before it
    EncoderRandom random;       // the generator before its draws (procedure, then allocation)
    int previousProcedure = 0;  // the dematrix procedure of the frame before
};

// Runs through a stream's frames in order, doing only what makes their places: the padding
// bits and the random draws, each frame's as the encoder does them. Far cheaper than coding
// the frames, it tells encoders started in the middle of a stream where they stand.
class FrameSchedule {
  public:
    // The first frame of a stream coded with `settings` and frames of `length` (as the
    // encoder configured them).
    void Start(const EncoderSettings& settings, const FrameLength& length);
    // The place of the next frame.
    const FramePlace& Next() const { return place; }
    // Passes one frame.
    void Advance();

  private:
    int dematrixChoice = 0;
    int tcAllocChoice = 0;
    int config = 0;             // the configuration's code, as the encoder's frames carry it
    bool multichannel = true;   // whether its frames carry the extension
    FramePlace place;
};

}  // namespace tavrisk::mp2
