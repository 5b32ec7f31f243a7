// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/jobs/JobResult.h"

#include <cstdio>

#include "app/model/TranscoderDialog.h"
#include "platform/ClockUnits.h"

namespace tavrisk {

namespace {

// "1 h 2 min 3 s", "2 min 0 s", "45 s".
std::string AudioLength(uint64_t frames, int rate) {
    const auto seconds =
        static_cast<long long>(rate > 0 ? frames / static_cast<uint64_t>(rate) : 0);
    const long long hours = seconds / kSecondsPerHour;
    const long long minutes = seconds % kSecondsPerHour / kSecondsPerMinute;
    const long long rest = seconds % kSecondsPerMinute;
    if (hours > 0)
        return std::to_string(hours) + " h " + std::to_string(minutes) + " min " +
               std::to_string(rest) + " s";
    if (minutes > 0) return std::to_string(minutes) + " min " + std::to_string(rest) + " s";
    return std::to_string(rest) + " s";
}

std::string WallTime(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds < 0.0 ? 0.0 : seconds);
    return text;
}

// Where a job that did not end well left its output.
std::string WhereKept(const std::vector<KeptOutput>& kept) {
    if (kept.empty()) return "nothing was written";
    std::string text = "partial output kept in ";
    for (std::size_t i = 0; i < kept.size(); ++i)
        text += (i == 0 ? "'" : ", '") + kept[i].path + "'";
    return text;
}

}  // namespace

std::string ResultLine(const JobResult& result) {
    const std::string facts = " (" + AudioLength(result.audioFrames, result.outputRate) +
                              " of audio in " + WallTime(result.elapsedSeconds) + ")";
    switch (result.outcome) {
        case JobOutcome::Done:
            return "Done: " + result.output + facts;
        case JobOutcome::DoneWithWarnings:
            return "Done with warnings: " + result.output + facts;
        case JobOutcome::Stopped:
            return "Stopped at " + TranscoderDialog::PercentText(result.percent) + ": " +
                   WhereKept(result.kept);
        case JobOutcome::Failed:
            return "Failed at " + TranscoderDialog::PercentText(result.percent) + ": " +
                   WhereKept(result.kept);
        case JobOutcome::Refused:
        case JobOutcome::Running:
            break;
    }
    return "";
}

}  // namespace tavrisk
