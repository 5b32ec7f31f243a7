// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/DrpCurve.h"

#include <algorithm>
#include <cmath>

namespace tavrisk {

float DrpCurve::InputDbOfX(int x) const {
    const float perStep = 100.0f / static_cast<float>(gridWidth);
    return perStep * static_cast<float>(x - gridWidth);
}

float DrpCurve::OutputDbOfY(int y) const {
    const float perStep = 100.0f / static_cast<float>(gridHeight);
    return perStep * static_cast<float>(-y);
}

int DrpCurve::XOfInputDb(float db) const {
    return static_cast<int>(std::trunc((static_cast<double>(db) + 100.0) * gridWidth * 0.01));
}

int DrpCurve::YOfOutputDb(float db) const {
    return static_cast<int>(std::trunc(static_cast<double>(db) * gridHeight * -0.01));
}

void DrpCurve::InsertPoint(Point p) {
    auto at =
        std::find_if(points.begin(), points.end(), [&](const Point& q) { return q.x >= p.x; });
    points.insert(at, p);
}

void DrpCurve::EnsureDefaultCurve() {
    if (!points.empty()) return;
    InsertPoint({0, gridHeight});
    InsertPoint({gridWidth, 0});
}

void DrpCurve::GetPointsDb(float* inputDb, float* outputDb) const {
    for (std::size_t i = 0; i < points.size(); ++i) {
        inputDb[i] = InputDbOfX(points[i].x);
        outputDb[i] = OutputDbOfY(points[i].y);
    }
}

void DrpCurve::SetPointsDb(const float* inputDb, const float* outputDb, int count) {
    points.clear();
    for (int i = 0; i < count; ++i) InsertPoint({XOfInputDb(inputDb[i]), YOfOutputDb(outputDb[i])});
}

void DrpCurve::CopyPointsFrom(const DrpCurve& other) {
    const int count = other.GetPointCount();
    std::vector<float> in(count), out(count);
    other.GetPointsDb(in.data(), out.data());
    SetPointsDb(in.data(), out.data(), count);
}

}  // namespace tavrisk
