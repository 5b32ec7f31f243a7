// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// The names of the hidden temporary files this process has on disk, kept where a signal
// handler can remove them: fixed slots of preformatted paths, filled before the file gets its
// name and emptied after it lost it. Claiming and releasing are safe from any thread;
// RemoveAll is async-signal-safe.
class TemporaryNames {
  public:
    static constexpr int kNoSlot = -1;

    // Keeps `path` for RemoveAll; kNoSlot when every slot is taken or the path is too long
    // (the file then has no removal on a signal, nothing worse).
    static int Claim(const std::string& path);
    static void Release(int slot);
    // Removes every file named in a slot. Only unlink() and atomic loads: callable from a
    // signal handler.
    static void RemoveAll() noexcept;
};

}  // namespace tavrisk
