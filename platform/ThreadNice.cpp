// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ThreadNice.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tavrisk {

namespace {

constexpr const char* kThreadsFolder = "/proc/self/task";

// 0, or the errno of the refusal.
int SetThreadNice(long thread, int nice) {
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0 ? 0 : errno;
}

std::string Reason(int error) {
    std::string reason = std::strerror(error);
    if (error == EACCES || error == EPERM)
        reason +=
            " (a higher priority needs the CAP_SYS_NICE capability or a nice limit for "
            "the user, see ulimit -e)";
    return reason;
}

}  // namespace

std::string SetProcessNice(int nice) {
    const long self = ::syscall(SYS_gettid);
    if (const int refused = SetThreadNice(self, nice)) return Reason(refused);
    int failure = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kThreadsFolder, error)) {
        const long thread = std::strtol(entry.path().filename().c_str(), nullptr, 10);
        if (thread <= 0 || thread == self) continue;
        // A thread that ended meanwhile is no failure.
        const int refused = SetThreadNice(thread, nice);
        if (refused != 0 && refused != ESRCH) failure = refused;
    }
    if (error) return std::string(kThreadsFolder) + ": " + error.message();
    return failure ? Reason(failure) : "";
}

int CurrentNice() {
    errno = 0;
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

}  // namespace tavrisk
