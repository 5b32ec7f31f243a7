// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

#include "dsp/SampleBlock.h"

namespace tavrisk::test {

// The frames of one block, as the tests of what reads and writes blocks count them.
inline constexpr std::size_t kBlock = SampleBlock::kFrames;

}  // namespace tavrisk::test
