#pragma once

#include <string>

#include "host/JobHost.h"

namespace tavrisk {

// The engines' message boxes about their output files.
inline void ReportCreateError(JobHost& host, const std::string& path) {
    host.MessageBox("Unable to create file:\n" + path, "File Creation Error", MessageButtons::Ok,
                    MessageIcon::Stop);
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
