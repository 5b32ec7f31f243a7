// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "host/JobLoudness.h"

namespace tavrisk {

// The loudness of the jobs a command line ran, as the JSON document `--report` writes:
// {"jobs": [{"input": ..., "output": ..., "input_loudness": {...}, "output_loudness": {...},
// "normalization": {...}}]}. A level that does not exist (the loudness of silence) is null.
class LoudnessReport {
  public:
    static std::string Json(const std::vector<JobLoudness>& jobs);
    // The per-channel true peaks as `measure` prints them.
    static std::string TruePeakLine(const LoudnessFigures& figures);
    // Writes the document to `path`; false with `error` set when it cannot.
    static bool Write(const std::string& path, const std::vector<JobLoudness>& jobs,
                      std::string& error);
};

}  // namespace tavrisk
