// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/OutputLayout.h"

namespace tavrisk::mp2dec {

namespace {

constexpr int kSurroundMono = 1;
constexpr int kSurroundStereo = 2;

}  // namespace

void OutputLayout::Add(int channel, Speaker where) {
    decoded[static_cast<std::size_t>(count)] = channel;
    speaker[static_cast<std::size_t>(count)] = where;
    ++count;
}

int OutputLayout::Missing(const OutputLayout& frame) const {
    int missing = 0;
    for (int f = 0; f < frame.count; ++f) {
        bool carried = false;
        for (int c = 0; c < count; ++c) carried = carried || decoded[c] == frame.decoded[f];
        if (!carried) ++missing;
    }
    return missing;
}

OutputLayout LayoutOfStream(const FrameHeader& header, const ExtensionInfo& extension,
                            bool pairOnly) {
    OutputLayout layout;
    if (!pairOnly && !extension.present && header.Channels() == 1) {
        layout.Add(kOutL, Speaker::kMono);
        return layout;
    }
    const bool full = !pairOnly && extension.present;
    layout.Add(kOutL, Speaker::kFrontLeft);
    if (full && extension.center != 0) layout.Add(kOutC, Speaker::kFrontCentre);
    layout.Add(kOutR, Speaker::kFrontRight);
    if (full && extension.surround == kSurroundMono) layout.Add(kOutLs, Speaker::kBackCentre);
    if (full && extension.surround == kSurroundStereo) {
        layout.Add(kOutLs, Speaker::kBackLeft);
        layout.Add(kOutRs, Speaker::kBackRight);
    }
    if (full && extension.lfe) layout.Add(kOutLfe, Speaker::kLfe);
    return layout;
}

OutputLayout SecondProgrammeLayout() {
    OutputLayout layout;
    layout.Add(kOutLs, Speaker::kFrontLeft);
    layout.Add(kOutRs, Speaker::kFrontRight);
    return layout;
}

}  // namespace tavrisk::mp2dec
