// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/SampleBlock.h"
#include "engines/OutputEngine.h"
#include "host/JobHost.h"
#include "platform/WavChannelOrder.h"
#include "platform/WavWriter.h"

namespace tavrisk {

// Writes the processed audio into one six-channel 16-bit WAV file, frames interleaved in the
// standard order FL FR FC LFE BL BR with the 5.1 channel mask, or in the film order L, C, R,
// LS, RS, LFE without a mask. The file takes its name when the job finishes, and only when it
// holds at least one block: a job that ends before leaves any earlier file as it was. A
// stopped or failed job's file may be kept beside the name instead (see OutputEnd).
class WavEngine : public OutputEngine {
  public:
    static constexpr int kChannels = 6;

    explicit WavEngine(JobHost& host) : host(host) {}

    // The output's name, rate and channel order come from the settings.
    bool Init(const JobSettings& settings) override;
    bool Finish() override;
    bool EncodeBlock() override { return true; }
    bool FetchBlock() override;

  private:
    // Blocks packed before they are written at once: small writes cost the system far more
    // per byte.
    static constexpr std::size_t kBatchBlocks = 16;
    static constexpr std::size_t kBlockValues = SampleBlock::kFrames * kChannels;

    // The block into the batch, interleaved in the file's order as 16-bit little-endian
    // values.
    void Pack(int16_t* frames) const;
    // Writes the packed blocks; false after reporting a failed write.
    bool WriteBatch();

    JobHost& host;
    // The block row of each channel of a file frame.
    std::array<std::size_t, kChannels> rowOfFileChannel{};
    WavWriter writer;
    std::string outputName;
    bool wroteBlock = false;
    SampleBlock block;
    std::vector<int16_t> batch = std::vector<int16_t>(kBatchBlocks * kBlockValues);
    std::size_t batched = 0;
};

}  // namespace tavrisk
