// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavrisk::mp2dec {

// What went wrong where: frame numbers count from 1; 0 means the file as a whole.
struct Problem {
    enum Severity { kError, kWarning };
    long frame = 0;
    Severity severity = kError;
    std::string text;

    // "frame 12: multichannel CRC mismatch", or "warning: ..." forms.
    std::string Line() const;
};

// Collects the problems of one pass over a stream.
class ProblemLog {
  public:
    void Error(long frame, std::string text) { Add(frame, Problem::kError, std::move(text)); }
    void Warning(long frame, std::string text) { Add(frame, Problem::kWarning, std::move(text)); }
    const std::vector<Problem>& Problems() const { return problems; }
    // Moves the problems of `other` to the end of this log, leaving `other` empty.
    void MoveFrom(ProblemLog& other);
    std::size_t ErrorCount() const { return errors; }
    std::size_t WarningCount() const { return problems.size() - errors; }
    // Lines not yet handed out by TakeNewLines (for printing as they come).
    std::vector<std::string> TakeNewLines();

  private:
    void Add(long frame, Problem::Severity severity, std::string text);

    std::vector<Problem> problems;
    std::size_t errors = 0;
    std::size_t printed = 0;
};

}  // namespace tavrisk::mp2dec
