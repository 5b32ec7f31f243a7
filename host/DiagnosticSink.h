// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// Where an engine's own console text goes, kept by a front end: reports, errors, and a
// counter line rewritten in place. The core hands the text over and never prints it.
class DiagnosticSink {
  public:
    virtual ~DiagnosticSink() = default;
    virtual void Report(const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;
    // Whether a line rewritten in place shows there (a terminal); the engine asks before it
    // counts frames.
    virtual bool ShowsCounter() const = 0;
    virtual void Counter(const std::string& text) = 0;
};

}  // namespace tavrisk
