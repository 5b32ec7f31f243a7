// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

#include "host/DiagnosticSink.h"

namespace tavrisk {

// An engine's console text on two standard streams of a front end: reports on `out`,
// errors and the counter on `err`, the counter only when `err` is a terminal. A null stream
// drops what would go there.
class StreamDiagnostics : public DiagnosticSink {
  public:
    StreamDiagnostics(std::FILE* out, std::FILE* err) : out(out), err(err) {}
    void Report(const std::string& text) override;
    void Error(const std::string& text) override;
    bool ShowsCounter() const override;
    void Counter(const std::string& text) override;

  private:
    std::FILE* out;
    std::FILE* err;
};

}  // namespace tavrisk
