#include "dsp/DrpCurve.h"

#include <algorithm>
#include <cmath>

namespace tavrisk {

void DrpCurve::SetClientSize(int width, int height) {
    clientWidth = width;
    clientHeight = height;
}

void DrpCurve::EnsurePlotSize() {
    if (plotWidth != 0 || plotHeight != 0) return;
    if (clientWidth >= kLabelMinSize && clientHeight >= kLabelMinSize) {
        plotWidth = clientWidth - kLabelWidth;
        plotHeight = clientHeight - kLabelHeight;
    } else {
        plotWidth = clientWidth;
        plotHeight = clientHeight;
    }
}

int DrpCurve::PlotWidth() {
    EnsurePlotSize();
    return plotWidth;
}

int DrpCurve::PlotHeight() {
    EnsurePlotSize();
    return plotHeight;
}

bool DrpCurve::ShowsLabels() {
    return PlotWidth() >= kLabelMinSize && PlotHeight() >= kLabelMinSize;
}

float DrpCurve::InputDbOfX(int x) {
    const float perPixel = 100.0f / static_cast<float>(PlotWidth());
    return perPixel * static_cast<float>(x - plotWidth);
}

float DrpCurve::OutputDbOfY(int y) {
    const float perPixel = 100.0f / static_cast<float>(PlotHeight());
    return perPixel * static_cast<float>(-y);
}

int DrpCurve::XOfInputDb(float db) {
    return static_cast<int>(std::trunc((static_cast<double>(db) + 100.0) * PlotWidth() * 0.01));
}

int DrpCurve::YOfOutputDb(float db) {
    return static_cast<int>(std::trunc(static_cast<double>(db) * PlotHeight() * -0.01));
}

void DrpCurve::InsertPoint(Point p) {
    auto at =
        std::find_if(points.begin(), points.end(), [&](const Point& q) { return q.x >= p.x; });
    points.insert(at, p);
}

void DrpCurve::EnsureDefaultCurve() {
    if (!points.empty()) return;
    InsertPoint({0, PlotHeight()});
    InsertPoint({PlotWidth(), 0});
}

void DrpCurve::GetPointsDb(float* inputDb, float* outputDb) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        inputDb[i] = InputDbOfX(points[i].x);
        outputDb[i] = OutputDbOfY(points[i].y);
    }
}

void DrpCurve::SetPointsDb(const float* inputDb, const float* outputDb, int count) {
    points.clear();
    for (int i = 0; i < count; ++i) InsertPoint({XOfInputDb(inputDb[i]), YOfOutputDb(outputDb[i])});
}

void DrpCurve::CopyPointsFrom(DrpCurve& other) {
    const int count = other.GetPointCount();
    std::vector<float> in(count), out(count);
    other.GetPointsDb(in.data(), out.data());
    SetPointsDb(in.data(), out.data(), count);
}

}  // namespace tavrisk
