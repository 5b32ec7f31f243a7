// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <system_error>

#include "host/JobHost.h"

namespace tavrisk {

// The system's reason for an errno value ("Permission denied").
inline std::string SystemReason(int error) {
    return std::system_category().message(error);
}

// The engines' message boxes about their output files. `error`: the errno of the failure.
inline void ReportCreateError(JobHost& host, const std::string& path, int error) {
    host.MessageBox("Unable to create file:\n" + path + ": " + SystemReason(error),
                    "File Creation Error", MessageButtons::Ok, MessageIcon::Stop);
}

// An output that is the job's input file: writing it would destroy the input.
inline void ReportOutputIsInput(JobHost& host, const std::string& path) {
    host.MessageBox("The output '" + path + "' is the input file", "File I/O Error",
                    MessageButtons::Ok, MessageIcon::Stop);
}

inline void ReportWriteError(JobHost& host, const std::string& path) {
    host.MessageBox("Unable to write file:\n" + path, "File I/O Error", MessageButtons::Ok,
                    MessageIcon::Stop);
}

}  // namespace tavrisk
