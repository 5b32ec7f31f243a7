// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TemporaryNames.h"

#include <limits.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace tavrisk {

namespace {

// Enough for the six files of the mono engines and what a test opens at once.
constexpr std::size_t kSlots = 32;

enum SlotState : int { kFree, kFilling, kNamed };

struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);

std::array<Slot, kSlots> slots;

}  // namespace

int TemporaryNames::Claim(const std::string& path) {
    if (path.size() >= PATH_MAX) return kNoSlot;
    for (std::size_t i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(kNamed, std::memory_order_release);
        return static_cast<int>(i);
    }
    return kNoSlot;
}

void TemporaryNames::Release(int slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= kSlots) return;
    slots[static_cast<std::size_t>(slot)].state.store(kFree, std::memory_order_release);
}

void TemporaryNames::RemoveAll() noexcept {
    for (Slot& slot : slots) {
        if (slot.state.load(std::memory_order_acquire) == kNamed) ::unlink(slot.path);
    }
}

}  // namespace tavrisk
