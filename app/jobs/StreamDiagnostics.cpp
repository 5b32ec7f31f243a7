// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/jobs/StreamDiagnostics.h"

#include <unistd.h>

namespace tavrisk {

void StreamDiagnostics::Report(const std::string& text) {
    if (out) std::fputs(text.c_str(), out);
}

void StreamDiagnostics::Error(const std::string& text) {
    if (err) std::fputs(text.c_str(), err);
}

bool StreamDiagnostics::ShowsCounter() const {
    return err && ::isatty(::fileno(err)) != 0;
}

void StreamDiagnostics::Counter(const std::string& text) {
    if (!err) return;
    std::fputs(text.c_str(), err);
    std::fflush(err);
}

}  // namespace tavrisk
