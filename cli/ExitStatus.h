// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrisk {

// The exit status of every tavrisk-cli command (the README's table).
enum ExitStatus : int {
    kExitDone = 0,       // the job ran to its end; `check` found no errors
    kExitFailed = 1,     // the job failed or `check` found errors
    kExitRefused = 2,    // nothing done: refused before the work (an input that cannot be
                         // opened, an output that would overwrite the input or that exists
                         // without --yes)
    kExitWarnings = 3,   // the job ran to its end past damage in its input, which it reported
    kExitUsage = 64,     // bad command or options
    kExitStopped = 130,  // Ctrl-C; the output written so far is kept
    // Stopped by another signal (SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, ...): 128 + its number,
    // as a shell reports it.
    kExitSignalBase = 128,
};

}  // namespace tavrisk
