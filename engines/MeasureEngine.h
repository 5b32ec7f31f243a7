// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dsp/SampleBlock.h"
#include "engines/OutputEngine.h"

namespace tavrisk {

// Pulls the processed audio through its source and writes nothing: a job that only measures
// its input (the loudness taps of the source see every frame).
class MeasureEngine : public OutputEngine {
  public:
    bool Init(const JobSettings& settings) override {
        return source && source->Open(settings.inputName);
    }
    bool Finish() override {
        if (source) source->Close();
        return true;
    }
    bool EncodeBlock() override { return true; }
    bool FetchBlock() override { return ReadFromSource(block); }

  private:
    SampleBlock block;
};

}  // namespace tavrisk
