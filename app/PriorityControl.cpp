// The "Priority" combo mapped onto the process's nice value.
#include <sys/resource.h>

#include "app/TranscodeJob.h"

namespace tavrisk {

namespace {

// Nice values of the items "NORMAL_PRIORITY", "IDLE_PRIORITY", "HIGH_PRIORITY".
constexpr int kNiceOfItem[] = {0, 19, -10};

}  // namespace

bool TranscodeJob::ApplyPriority() {
    const int item = model.Controls().priority.selected;
    const bool known = item >= 0 && item < static_cast<int>(std::size(kNiceOfItem));
    if (!known || ::setpriority(PRIO_PROCESS, 0, kNiceOfItem[item]) != 0) {
        host.MessageBox("Unable to change priority", "Priority Error");
        return false;
    }
    return true;
}

}  // namespace tavrisk
