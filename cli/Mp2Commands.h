#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "platform/WavChannelOrder.h"

namespace tavrisk {

// `tavrisk-cli check FILE.mp2`: one line per problem with its frame number, a summary;
// kExitFailed when it found errors.
ExitStatus RunCheckCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err, bool showProgress);
// `tavrisk-cli decode FILE.mp2 OUT.wav [--stereo] [--wav-order standard|film] [--yes]`: a
// six-channel WAV (or the compatible pair) in `order` unless --wav-order says otherwise. An
// existing output is replaced only with --yes, the input never.
ExitStatus RunDecodeCommand(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err, bool showProgress,
                            WavChannelOrder order = WavChannelOrder::kStandard);

}  // namespace tavrisk
