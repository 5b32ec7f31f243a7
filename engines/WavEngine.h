// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dsp/SampleBlock.h"
#include "engines/OutputEngine.h"
#include "engines/WorkerQueue.h"
#include "host/JobHost.h"
#include "platform/WavChannelOrder.h"
#include "platform/WavWriter.h"

namespace tavrisk {

// Writes the processed audio into one six-channel 16-bit WAV file, frames interleaved in the
// standard order FL FR FC LFE BL BR with the 5.1 channel mask, or in the film order L, C, R,
// LS, RS, LFE without a mask. The file takes its name when the job finishes, and only when it
// holds at least one block: a job that ends before leaves any earlier file as it was. A
// stopped or failed job's file may be kept beside the name instead (see OutputEnd). The
// blocks are packed in batches, each written on a thread of their own while the source
// makes the next ones.
class WavEngine : public OutputEngine {
  public:
    static constexpr int kChannels = 6;

    explicit WavEngine(JobHost& host);
    ~WavEngine() override;

    // The output's name, rate and channel order come from the settings.
    bool Init(const JobSettings& settings) override;
    bool Finish() override;
    bool EncodeBlock() override;
    bool FetchBlock() override;

  private:
    // Blocks packed before they are written at once: small writes cost the system far more
    // per byte.
    static constexpr std::size_t kBatchBlocks = 16;
    static constexpr std::size_t kBlockValues = SampleBlock::kFrames * kChannels;

    // Blocks packed for one write.
    struct Batch {
        std::vector<int16_t> values = std::vector<int16_t>(kBatchBlocks * kBlockValues);
        std::size_t blocks = 0;
    };
    static constexpr std::size_t kQueuedBatches = 3;

    // The block into the batch, interleaved in the file's order as 16-bit little-endian
    // values.
    void Pack(int16_t* frames) const;
    // Hands the batch packed so far to the writing thread.
    void HandOver();
    // The writing thread's work: one batch into the file; false when the write failed.
    bool Write(const Batch& packed);
    void ReportWriteFailure();

    JobHost& host;
    // The block row of each channel of a file frame.
    std::array<std::size_t, kChannels> rowOfFileChannel{};
    WavWriter writer;
    std::string outputName;
    bool wroteBlock = false;
    SampleBlock block;
    // Made last, ended first: its thread writes through the writer.
    std::unique_ptr<WorkerQueue<Batch>> writing;
    Batch* packing = nullptr;  // being filled, or null
};

}  // namespace tavrisk
