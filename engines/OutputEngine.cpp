// SPDX-License-Identifier: GPL-3.0-or-later
#include "engines/OutputEngine.h"

namespace tavrisk {

bool OutputEngine::Run() {
    if (FetchBlock()) {
        while (EncodeBlock() && FetchBlock()) {
        }
    }
    const bool finished = Finish();
    return finished && !failed;
}

OutputEnd OutputEngine::Ending() const {
    if (failed || jobFailed || SourceFailed()) return OutputEnd::kFailed;
    if (lastRead != BlockOutcome::kEnd) return OutputEnd::kStopped;
    return OutputEnd::kComplete;
}

bool OutputEngine::ReadFromSource(SampleBlock& block) {
    if (!source) return false;
    lastRead = source->ReadBlock(block).outcome;
    if (lastRead != BlockOutcome::kBlock) return false;
    framesRead += SampleBlock::kFrames;
    return true;
}

}  // namespace tavrisk
