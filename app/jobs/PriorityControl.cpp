// SPDX-License-Identifier: GPL-3.0-or-later
// The "Priority" combo mapped onto the process's nice value.
#include "app/jobs/TranscodeJob.h"
#include "platform/ThreadNice.h"

namespace tavrisk {

namespace {

constexpr int kIdleNice = 19;
constexpr int kHighNice = -10;

// The nice value of each priority.
int NiceOf(ProcessPriority priority) {
    switch (priority) {
        case ProcessPriority::kIdle:
            return kIdleNice;
        case ProcessPriority::kHigh:
            return kHighNice;
        case ProcessPriority::kNormal:
            break;
    }
    return 0;
}

// The priority a nice value stands for: below 0 high, above 0 low.
ProcessPriority PriorityOfNice(int nice) {
    if (nice < 0) return ProcessPriority::kHigh;
    return nice > 0 ? ProcessPriority::kIdle : ProcessPriority::kNormal;
}

}  // namespace

bool TranscodeJob::ApplyPriority() {
    const std::optional<ProcessPriority> priority = model.SelectedPriority();
    const std::string reason =
        priority ? SetProcessNice(NiceOf(*priority)) : std::string("no priority selected");
    if (reason.empty()) return true;
    host.MessageBox("Unable to change priority: " + reason, "Priority Error");
    // The combo shows the priority still in force.
    model.ShowPriorityInForce(PriorityOfNice(CurrentNice()));
    return false;
}

void TranscodeJob::SpreadPriority() {
    // Threads a pipeline started take the priority of the thread that spawned them, which may
    // predate the last change: every thread gets the caller's.
    SetProcessNice(CurrentNice());
}

}  // namespace tavrisk
