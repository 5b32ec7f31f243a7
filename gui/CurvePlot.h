// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrisk {

// Where a transfer curve's plot sits in its view, in pixels: one pixel per step of the
// curve's grid. Views of at least kLabelMinSize pixels both ways keep room right of and below
// the plot for the scale labels; smaller ones are all plot.
struct CurvePlot {
    static constexpr int kLabelMinSize = 100;
    static constexpr int kLabelWidth = 30;
    static constexpr int kLabelHeight = 20;

    int width = 0;
    int height = 0;

    static constexpr CurvePlot OfView(int viewWidth, int viewHeight) {
        if (viewWidth >= kLabelMinSize && viewHeight >= kLabelMinSize)
            return {viewWidth - kLabelWidth, viewHeight - kLabelHeight};
        return {viewWidth, viewHeight};
    }
    constexpr bool ShowsLabels() const { return width >= kLabelMinSize && height >= kLabelMinSize; }
};

}  // namespace tavrisk
