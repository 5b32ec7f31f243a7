// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/ChannelLayout.h"

#include <algorithm>

#include "mp2enc/EncoderLog.h"

namespace tavrisk::mp2 {
namespace {

constexpr double kMinus3Db = 0.7071067811865476;
constexpr double kMinus6Db = 0.5;
constexpr double kFullScale = 32767.0;

}  // namespace

ChannelLayout LayoutOf(const ChannelConfiguration& c) {
    ChannelLayout layout;
    layout.config = c.front * 100 + c.surround * 10;
    layout.center = c.front == 3 ? 1 : 0;
    layout.surround = c.surround;
    layout.compatible = c.front == 1 ? 1 : 2;
    layout.extensionChannels = (c.front == 3 ? 1 : 0) + c.surround;
    layout.multichannel = layout.extensionChannels > 0 || c.lfe;
    return layout;
}

std::string ConfigurationProblem(const ChannelConfiguration& c) {
    const std::string problem = ChannelConfigurationProblem(c);
    return problem.empty() ? problem : std::string(kProgramName) + ": " + problem + "\n";
}

bool FoldsNothing(const ChannelConfiguration& c) {
    return c.front == 3 && c.surround == 2;
}

std::size_t FoldChannels(const ChannelConfiguration& c, const SampleBlock& in, SampleBlock& out) {
    using B = SampleBlock;
    const double* l = in.Row(B::kRowL);
    const double* r = in.Row(B::kRowR);
    const double* centre = in.Row(B::kRowC);
    const double* ls = in.Row(B::kRowLs);
    const double* rs = in.Row(B::kRowRs);
    std::size_t clipped = 0;
    auto put = [&](std::size_t row, std::size_t i, double value) {
        const double limited = std::clamp(value, -kFullScale - 1.0, kFullScale);
        if (limited != value) ++clipped;
        out.Row(row)[i] = limited;
    };
    const bool centreKept = c.front == 3;
    const double centreToFronts = centreKept ? 0.0 : kMinus3Db;
    const double surroundToFronts = c.surround == 0 ? kMinus3Db : 0.0;
    for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
        if (c.front == 1) {
            put(B::kRowL, i, kMinus3Db * (l[i] + r[i]) + centre[i] + kMinus6Db * (ls[i] + rs[i]));
            put(B::kRowR, i, 0.0);
        } else {
            put(B::kRowL, i, l[i] + centreToFronts * centre[i] + surroundToFronts * ls[i]);
            put(B::kRowR, i, r[i] + centreToFronts * centre[i] + surroundToFronts * rs[i]);
        }
        put(B::kRowC, i, centreKept ? centre[i] : 0.0);
        const double mono = kMinus3Db * (ls[i] + rs[i]);
        put(B::kRowLs, i, c.surround == 2 ? ls[i] : c.surround == 1 ? mono : 0.0);
        put(B::kRowRs, i, c.surround == 2 ? rs[i] : c.surround == 1 ? mono : 0.0);
    }
    const double* lfe = in.Row(B::kRowLfe);
    double* lfeOut = out.Row(B::kRowLfe);
    if (c.lfe) {
        std::copy(lfe, lfe + SampleBlock::kFrames, lfeOut);
    } else {
        std::fill(lfeOut, lfeOut + SampleBlock::kFrames, 0.0);
    }
    return clipped;
}

}  // namespace tavrisk::mp2
