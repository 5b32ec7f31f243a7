// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

std::string Problem::Line() const {
    std::string line = frame > 0 ? "frame " + std::to_string(frame) + ": " : std::string();
    if (severity == kWarning) line += "warning: ";
    return line + text;
}

void ProblemLog::Add(long frame, Problem::Severity severity, std::string text) {
    problems.push_back({frame, severity, std::move(text)});
    if (severity == Problem::kError) ++errors;
}

void ProblemLog::MoveFrom(ProblemLog& other) {
    for (Problem& problem : other.problems)
        Add(problem.frame, problem.severity, std::move(problem.text));
    other = ProblemLog();
}

std::vector<std::string> ProblemLog::TakeNewLines() {
    std::vector<std::string> lines;
    for (; printed < problems.size(); ++printed) lines.push_back(problems[printed].Line());
    return lines;
}

}  // namespace tavrisk::mp2dec
