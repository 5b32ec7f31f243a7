// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/jobs/RunningJob.h"

namespace tavrisk {

// The facts of a job that has ended, as a front end tells them in one line.
struct JobResult {
    JobOutcome outcome = JobOutcome::Done;
    // The output name the job was given (a file, or the folder of the mono files).
    std::string output;
    // Audio written, in frames at the output rate.
    uint64_t audioFrames = 0;
    int outputRate = 0;
    double elapsedSeconds = 0.0;
    // Progress when it ended.
    float percent = 0.0f;
    std::vector<KeptOutput> kept;
};

// "Done: /films/film.mp2 (2 min 0 s of audio in 2.1 s)", "Stopped at 65.95 %: partial output
// kept in '...'", "Failed at ...", or "" for a job refused before it started (its message said
// why).
std::string ResultLine(const JobResult& result);

}  // namespace tavrisk
