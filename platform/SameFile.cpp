// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SameFile.h"

#include <sys/stat.h>

namespace tavrisk {

bool IsSameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace tavrisk
