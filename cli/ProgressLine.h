// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace tavrisk {

// "<label> 42 %" redrawn in place on a terminal when the percentage changes; silent when
// disabled.
class ProgressLine {
  public:
    ProgressLine(std::ostream& out, std::string label, bool enabled)
        : out(out), label(std::move(label)), enabled(enabled) {}

    void Update(uint64_t done, uint64_t total);
    // Ends the line so that following output starts on a fresh one.
    void Finish();

  private:
    std::ostream& out;
    std::string label;
    bool enabled;
    int shown = -1;
};

}  // namespace tavrisk
