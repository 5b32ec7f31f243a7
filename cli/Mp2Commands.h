// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "platform/WavChannelOrder.h"

namespace tavrisk {

// `tavrisk-cli check FILE [--stream N]`: one line per problem with its frame number, a
// summary; kExitFailed when it found errors. FILE is a file of MPEG audio frames or a
// container (VOB, MPEG transport stream, MKV, MP4) whose MPEG audio stream is read: stream N,
// else the first with a multichannel extension, else the first.
ExitStatus RunCheckCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err, bool showProgress);
// `tavrisk-cli info FILE`: per MPEG audio stream its configuration, LFE, bitrate, matrix
// procedures, duration, frames and damaged frames; kExitFailed when one is damaged.
ExitStatus RunInfoCommand(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err);
// `tavrisk-cli decode FILE OUT.wav [--stereo] [--wav-order standard|film] [--stream N]
// [--programme 1|2] [--yes]`: a six-channel WAV (or the compatible pair, or with
// --programme 2 the second stereo programme) in `order` unless --wav-order says otherwise; the
// stream of a container as check chooses it, placed on the container's timeline. An existing output
// is replaced only with --yes, the input never.
ExitStatus RunDecodeCommand(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err, bool showProgress,
                            WavChannelOrder order = WavChannelOrder::kStandard);

}  // namespace tavrisk
