#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"

namespace tavrisk {

// `tavrisk-cli check FILE.mp2`: one line per problem with its frame number, a summary;
// kExitFailed when it found errors.
ExitStatus RunCheckCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err, bool showProgress);
// `tavrisk-cli decode FILE.mp2 OUT.wav [--stereo] [--yes]`: six-channel WAV L, C, R, LS, RS,
// LFE (or the compatible pair). An existing output is replaced only with --yes, the input
// never.
ExitStatus RunDecodeCommand(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err, bool showProgress);

}  // namespace tavrisk
