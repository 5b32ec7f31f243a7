// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// The nice value of the whole process. On Linux a nice value belongs to a thread:
// setpriority(PRIO_PROCESS, 0, n) changes only the caller. SetProcessNice sets it for every
// thread the process has (/proc/self/task), the caller first; threads created later inherit it
// from the thread that creates them. Returns "" when it is in force, else the system's reason;
// a refusal for the caller changes nothing.
std::string SetProcessNice(int nice);
// The nice value of the calling thread.
int CurrentNice();

}  // namespace tavrisk
