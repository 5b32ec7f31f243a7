// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/jobs/KeptOutputs.h"

#include <algorithm>

namespace tavrisk {

namespace {

constexpr const char* kWrittenSoFar = "the output written so far is kept";

bool IsPartial(const KeptOutput& output) {
    return output.partial;
}

// " as 'a.partial.mp2'; the earlier 'a.mp2' is unchanged", or the list of several files.
std::string WherePartial(const std::vector<KeptOutput>& kept) {
    std::string text = " as ";
    for (std::size_t i = 0; i < kept.size(); ++i)
        text += (i == 0 ? "'" : ", '") + kept[i].path + "'";
    if (!KeptBesideEarlier(kept)) return text;
    if (kept.size() == 1) return text + "; the earlier '" + kept.front().target + "' is unchanged";
    return text + "; the earlier files are unchanged";
}

}  // namespace

bool KeptBesideEarlier(const std::vector<KeptOutput>& kept) {
    return std::any_of(kept.begin(), kept.end(),
                       [](const KeptOutput& output) { return output.earlierKept; });
}

std::string StopReport(const std::vector<KeptOutput>& kept) {
    if (kept.empty()) return "Stopped before any output was written.";
    if (std::none_of(kept.begin(), kept.end(), IsPartial))
        return std::string("Stopped: ") + kWrittenSoFar + ".";
    return std::string("Stopped: ") + kWrittenSoFar + WherePartial(kept) + ".";
}

void ReportFailedJobOutputs(JobHost& host, const std::vector<KeptOutput>& kept) {
    if (std::none_of(kept.begin(), kept.end(), IsPartial)) return;
    std::string text = std::string("The job failed: ") + kWrittenSoFar + WherePartial(kept) + ".";
    host.MessageBox(text, "Partial Output", MessageButtons::Ok, MessageIcon::Exclamation);
}

}  // namespace tavrisk
