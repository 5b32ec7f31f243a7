// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UsableCores.h"

#include <sched.h>

#include <thread>

namespace tavrisk {

int UsableCores() {
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (sched_getaffinity(0, sizeof mask, &mask) == 0)
        return CPU_COUNT(&mask) > 0 ? CPU_COUNT(&mask) : 1;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? static_cast<int>(cores) : 1;
}

}  // namespace tavrisk
