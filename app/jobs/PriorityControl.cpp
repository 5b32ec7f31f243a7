// The "Priority" combo mapped onto the process's nice value.
#include <sys/resource.h>

#include "app/jobs/TranscodeJob.h"

namespace tavrisk {

namespace {

// The nice value of each priority.
int NiceOf(ProcessPriority priority) {
    switch (priority) {
        case ProcessPriority::kIdle:
            return 19;
        case ProcessPriority::kHigh:
            return -10;
        case ProcessPriority::kNormal:
            break;
    }
    return 0;
}

}  // namespace

bool TranscodeJob::ApplyPriority() {
    const std::optional<ProcessPriority> priority = model.SelectedPriority();
    if (!priority || ::setpriority(PRIO_PROCESS, 0, NiceOf(*priority)) != 0) {
        host.MessageBox("Unable to change priority", "Priority Error");
        return false;
    }
    return true;
}

}  // namespace tavrisk
