// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrisk {

// A kernel's build for this processor: `avx2` (built with the AVX2 target and no fused
// multiply-adds, so that both give the same results) where it has AVX2, else `plain`. Chosen
// by a plain test rather than an ifunc, whose resolver runs before the thread sanitizer is
// set up.
inline bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

template <typename Kernel>
Kernel ChooseAvx2Kernel(Kernel avx2, Kernel plain) {
    return HasAvx2() ? avx2 : plain;
}

}  // namespace tavrisk
