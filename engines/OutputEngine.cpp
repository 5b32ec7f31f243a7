#include "engines/OutputEngine.h"

#include <cstdlib>
#include <cstring>

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
    return lastRead == BlockOutcome::kBlock;
}

int OutputEngine::GetRateOption(int argc, const char* const* argv) {
    for (int i = 0; i < argc - 1; ++i) {
        if (std::strcmp(argv[i], "-r") == 0) {
            // The single-precision factor keeps "44.100" at exactly 44100.
            const long double kiloHertz = std::atof(argv[i + 1]);
            return static_cast<int>(kiloHertz * static_cast<long double>(1000.0f));
        }
    }
    return kDefaultRate;
}

}  // namespace tavrisk
