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

// An array of `count` zero-filled rows.
template <typename Row>
std::unique_ptr<Row[]> AllocZeroedRows(std::size_t count, const char* label) {
    (void)label;
    return std::make_unique<Row[]>(count);
}

}  // namespace tavrisk::mp2
