// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

namespace tavrisk {

// A dynamic range transfer curve: output level in dB over input level in dB, kept as a
// polyline of points on a grid of W x H steps spanning -100..0 dB on both axes (x grows with
// the input level, y falls with the output level), together with the channel's release time.
// The grid decides which levels the curve can hold; a view that shows it gives each step a
// pixel.
class DrpCurve {
  public:
    struct Point {
        int x = 0;
        int y = 0;
    };
    static constexpr int kDefaultReleaseMs = 300;

    DrpCurve() = default;
    DrpCurve(int gridWidth, int gridHeight) : gridWidth(gridWidth), gridHeight(gridHeight) {}

    // The grid of an empty curve: points already held would keep their steps.
    void SetGridSize(int width, int height) {
        gridWidth = width;
        gridHeight = height;
    }
    int GridWidth() const { return gridWidth; }
    int GridHeight() const { return gridHeight; }

    int GetPointCount() const { return static_cast<int>(points.size()); }
    // Input and output levels in dB of every point, in list order.
    void GetPointsDb(float* inputDb, float* outputDb) const;
    void SetPointsDb(const float* inputDb, const float* outputDb, int count);
    void CopyPointsFrom(const DrpCurve& other);
    void ClearPoints() { points.clear(); }
    // Adds the identity from -100 dB to 0 dB when the list is empty (as painting does).
    void EnsureDefaultCurve();
    const std::vector<Point>& Points() const { return points; }
    // Sorted insert: before the first point whose x is >= the new one.
    void InsertPoint(Point p);
    // Moves or removes the point at `index` where it is in the list; the caller keeps the x
    // order.
    void MovePoint(int index, Point to) { points[static_cast<std::size_t>(index)] = to; }
    void RemovePoint(int index) { points.erase(points.begin() + index); }

    int GetReleaseMs() const { return releaseMs; }
    void SetReleaseMs(int ms) { releaseMs = ms; }
    bool IsEditable() const { return editable; }
    void SetEditable(bool on) { editable = on; }

    // Level conversions of the grid (32-bit float arithmetic, truncating to a step).
    float InputDbOfX(int x) const;
    float OutputDbOfY(int y) const;
    int XOfInputDb(float db) const;
    int YOfOutputDb(float db) const;

  private:
    bool editable = true;
    std::vector<Point> points;
    int gridWidth = 0;
    int gridHeight = 0;
    int releaseMs = kDefaultReleaseMs;
};

}  // namespace tavrisk
