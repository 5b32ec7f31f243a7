// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "dsp/DrpCurve.h"

namespace tavrisk {

// Mouse editing of a transfer curve, in the curve's plot pixels: a left press selects the
// point within reach or adds one, a move drags it (end points only up and down, inner points
// strictly between their neighbours), a right press and release on an inner point removes it.
// Points move in place, so the point grabbed stays the one dragged, also among points that
// share an x position. Knows no toolkit; the curve view forwards its mouse events.
class CurveMouse {
  public:
    // How far from a point (in pixels, in both directions) a press still takes that point.
    static constexpr int kReach = 12;
    // A point dragged above this row snaps to the top (0 dB).
    static constexpr int kTopSnap = 2;

    explicit CurveMouse(DrpCurve& curve) : curve(curve) {}

    // Each returns true when the curve's points changed.
    bool LeftDown(int mx, int my);
    bool Move(int mx, int my);
    void LeftUp() { dragging = false; }
    void RightDown(int mx, int my);
    bool RightUp(int mx, int my);

    // The position readout: "<input> dB --> <output> dB", empty outside the plot.
    std::string Readout(int mx, int my);

    bool Dragging() const { return dragging; }
    int Selected() const { return selected; }

  private:
    // Index of the first point within reach of (mx, my), or -1.
    int NearPoint(int mx, int my);
    // A point of the plot within reach of the mouse, which may be just outside the plot (on
    // the handle of a point on its edge).
    bool Near(int px, int py, int mx, int my);

    DrpCurve& curve;
    bool dragging = false;
    int selected = -1;
    int pressX = 0, pressY = 0;
    int rightPressX = 0, rightPressY = 0;
};

}  // namespace tavrisk
