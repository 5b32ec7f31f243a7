#pragma once

#include <string>

#include "host/JobHost.h"

namespace tavrisk {

// The engines' message boxes about their output files.
inline void ReportCreateError(JobHost& host, const std::string& path) {
    host.MessageBox("Unable to create file:\n" + path, "File Creation Error", MessageButtons::Ok,
                    MessageIcon::Stop);
}

inline void ReportWriteError(JobHost& host, const std::string& path) {
    host.MessageBox("Unable to write file:\n" + path, "File I/O Error", MessageButtons::Ok,
                    MessageIcon::Stop);
}

}  // namespace tavrisk
