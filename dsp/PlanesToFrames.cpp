// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/PlanesToFrames.h"

#include "dsp/FrameRows.h"
#include "dsp/KernelChoice.h"

namespace tavrisk {
namespace {

void PlanesToFramesPlain(const float* const* planes, const float* gains, std::size_t count,
                         float* frames) {
    frame_rows::RowsToFrames(planes, gains, count, frames);
}

[[gnu::target("avx2")]] void PlanesToFramesAvx2(const float* const* planes, const float* gains,
                                                std::size_t count, float* frames) {
    frame_rows::RowsToFrames(planes, gains, count, frames);
}

const auto kPlanesToFrames = ChooseAvx2Kernel(PlanesToFramesAvx2, PlanesToFramesPlain);

}  // namespace

void PlanesToFrames(const float* const* planes, const float* gains, std::size_t count,
                    float* frames) {
    kPlanesToFrames(planes, gains, count, frames);
}

}  // namespace tavrisk
