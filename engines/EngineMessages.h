#pragma once

#include <string>

#include "app/TranscoderDialog.h"

namespace tavrisk {

// The engines' message boxes about their output files.
inline void ReportCreateError(TranscoderDialog& window, const std::string& path) {
    window.MessageBox("Unable to create file:\n" + path, "File Creation Error", MessageButtons::Ok,
                      MessageIcon::Stop);
}

inline void ReportWriteError(TranscoderDialog& window, const std::string& path) {
    window.MessageBox("Unable to write file:\n" + path, "File I/O Error", MessageButtons::Ok,
                      MessageIcon::Stop);
}

}  // namespace tavrisk
