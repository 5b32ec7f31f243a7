// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "dsp/SampleBlock.h"

namespace tavrisk {

// What reading one block gave: a block, the end of the input (what came out is whole), a
// stop, or a failure the source already reported (its text is kept here).
enum class BlockOutcome { kBlock, kEnd, kStopped, kFailed };

struct BlockRead {
    BlockOutcome outcome = BlockOutcome::kEnd;
    std::string message;  // kFailed: what went wrong

    bool HasBlock() const { return outcome == BlockOutcome::kBlock; }
};

// What an output engine takes its audio from, block by block.
class BlockSource {
  public:
    virtual ~BlockSource() = default;

    // Opens the input and prepares the output pass; false after the source said why.
    virtual bool Open(const std::string& name) = 0;
    // The next block: kBlock with 1152 new frames, else how the input ended.
    virtual BlockRead ReadBlock(SampleBlock& block) = 0;
    virtual void Close() {}
};

}  // namespace tavrisk
