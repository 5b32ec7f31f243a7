// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace tavrisk {

// Six planes of floats (a channel's values side by side, as decoders give them) into
// `count` frames of six interleaved floats, each plane's values times its gain: the
// vectorised kernel for this processor.
void PlanesToFrames(const float* const* planes, const float* gains, std::size_t count,
                    float* frames);

}  // namespace tavrisk
