// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engines/BlockSource.h"
#include "host/JobSettings.h"
#include "platform/OutputFile.h"

namespace tavrisk {

// Base of the output engines. An engine owns one source, is configured by the job's settings
// (the input and output names, the output rate, ...) and pulls the processed audio block by
// block. A native job calls Run; a graph job calls FetchBlock
// and EncodeBlock per block and Finish at the end.
class OutputEngine {
  public:
    OutputEngine() = default;
    virtual ~OutputEngine() = default;
    OutputEngine(const OutputEngine&) = delete;
    OutputEngine& operator=(const OutputEngine&) = delete;

    // Opens the source and creates the output; false after the engine or source said why.
    virtual bool Init(const JobSettings& settings) = 0;
    // The native job's whole loop. False when the job failed (a write error, say): the
    // failure was reported and what was written so far is closed validly.
    virtual bool Run();
    // Closes source and output. False when closing the output failed.
    virtual bool Finish() = 0;
    // Handles the block the last FetchBlock fetched; false ends the loop.
    virtual bool EncodeBlock() = 0;
    // Pulls one block from the source; false at the end of input, on a stop or an error.
    virtual bool FetchBlock() = 0;

    // Replaces (and deletes) the source held so far.
    void SetSource(std::unique_ptr<BlockSource> newSource) { source = std::move(newSource); }
    // The source ended the input with an error, which it reported.
    bool SourceFailed() const { return lastRead == BlockOutcome::kFailed; }

    // True once a write or encode error was reported; the job then counts as failed.
    bool Failed() const { return failed; }
    // The job failed outside the engine (its pipeline, say): Finish keeps the output as a
    // partial one.
    void MarkJobFailed() { jobFailed = true; }
    // Where Finish kept the outputs; none when the job ended before writing a block.
    const std::vector<KeptOutput>& KeptOutputs() const { return kept; }
    // Frames taken from the source so far, at the output rate.
    uint64_t FramesRead() const { return framesRead; }

  protected:
    // How the job ends, for the name its output takes: failed after an error of the engine,
    // the source or the job; stopped when the input was not read to its end; complete
    // otherwise. Decided from what was read and written, so a stop requested once the input
    // was read whole (while the output is being closed) changes nothing.
    OutputEnd Ending() const;
    void NoteKept(const std::optional<KeptOutput>& output) {
        if (output) kept.push_back(*output);
    }
    // Reads the next block from the source, keeping how the read ended; true for a block.
    bool ReadFromSource(SampleBlock& block);

    std::unique_ptr<BlockSource> source;
    bool failed = false;

  private:
    bool jobFailed = false;
    // The last read's outcome: kEnd once the input was read to its end.
    BlockOutcome lastRead = BlockOutcome::kStopped;
    std::vector<KeptOutput> kept;
    uint64_t framesRead = 0;
};

}  // namespace tavrisk
