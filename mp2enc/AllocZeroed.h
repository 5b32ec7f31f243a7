// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>

namespace tavrisk::mp2 {

// The encoder's working storage: allocated once per run, zero-filled, released by its
// owner. `label` names the buffer for readers of the code only.
template <typename T>
std::unique_ptr<T> AllocZeroed(const char* label) {
    (void)label;
    return std::make_unique<T>();  // value-initialised: all zero
}

}  // namespace tavrisk::mp2
