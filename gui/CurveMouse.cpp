// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/CurveMouse.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tavrisk {

bool CurveMouse::Near(int px, int py, int mx, int my) {
    const int w = curve.GridWidth();
    const int h = curve.GridHeight();
    return w >= px && px >= 0 && h >= py && py >= 0 && std::abs(px - mx) <= kReach &&
           std::abs(py - my) <= kReach;
}

int CurveMouse::NearPoint(int mx, int my) {
    const auto& points = curve.Points();
    for (std::size_t i = 0; i < points.size(); ++i)
        if (Near(points[i].x, points[i].y, mx, my)) return static_cast<int>(i);
    return -1;
}

bool CurveMouse::LeftDown(int mx, int my) {
    pressX = mx;
    pressY = my;
    curve.EnsureDefaultCurve();
    bool changed = false;
    int point = NearPoint(mx, my);
    if (point < 0 && mx >= 0 && mx <= curve.GridWidth() && my > 0 && my <= curve.GridHeight()) {
        curve.InsertPoint({mx, my});
        changed = true;
        point = NearPoint(mx, my);
    }
    if (dragging) {
        dragging = false;
    } else {
        selected = point;
        dragging = true;
    }
    return changed;
}

bool CurveMouse::Move(int mx, int my) {
    if (!dragging || selected < 0 || selected >= curve.GetPointCount()) return false;
    const std::vector<DrpCurve::Point>& points = curve.Points();
    const std::size_t i = static_cast<std::size_t>(selected);
    DrpCurve::Point p = points[i];
    if (i == 0) {
        p.x = 0;
    } else if (i + 1 == points.size()) {
        p.x = curve.GridWidth();
    } else if (const int low = points[i - 1].x + 1, high = points[i + 1].x - 1; low <= high) {
        p.x = std::clamp(mx, low, high);
    }
    // Neighbours with no room between them leave the point where it stands in x.
    p.y = my < kTopSnap ? 0 : std::min(my, curve.GridHeight());
    curve.MovePoint(selected, p);
    return true;
}

void CurveMouse::RightDown(int mx, int my) {
    rightPressX = mx;
    rightPressY = my;
}

bool CurveMouse::RightUp(int mx, int my) {
    const int point = NearPoint(mx, my);
    const int last = curve.GetPointCount() - 1;
    if (point <= 0 || point >= last || !Near(rightPressX, rightPressY, mx, my)) return false;
    curve.RemovePoint(point);
    if (selected == point) {
        selected = -1;
        dragging = false;
    } else if (selected > point) {
        --selected;
    }
    return true;
}

std::string CurveMouse::Readout(int mx, int my) {
    const int w = curve.GridWidth();
    const int h = curve.GridHeight();
    if (mx > w || mx <= 0 || my > h || my <= 0) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f dB --> %.2f dB", (100.0 / w) * (mx - w),
                  (100.0 / h) * (-my));
    return text;
}

}  // namespace tavrisk
