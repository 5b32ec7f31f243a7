#pragma once

#include <cstddef>
#include <vector>

namespace tavrisk {

// A dynamic range transfer curve: output level in dB over input level in dB, kept as a
// polyline of pixel points in a plot of W x H pixels spanning -100..0 dB on both axes,
// together with the channel's release time. This is the model; a view paints it and
// forwards mouse events.
class DrpCurve {
  public:
    struct Point {
        int x = 0;
        int y = 0;
    };
    static constexpr int kDefaultReleaseMs = 300;
    // Room left for the scale labels on plots of at least kLabelMinSize in both directions.
    static constexpr int kLabelMinSize = 100;
    static constexpr int kLabelWidth = 30;
    static constexpr int kLabelHeight = 20;

    DrpCurve() = default;
    DrpCurve(int clientWidth, int clientHeight)
        : clientWidth(clientWidth), clientHeight(clientHeight) {}

    // Client size of the control that shows the curve; the plot size is taken from it once.
    void SetClientSize(int width, int height);
    int PlotWidth();
    int PlotHeight();
    bool ShowsLabels();

    int GetPointCount() const { return static_cast<int>(points.size()); }
    // Input and output levels in dB of every point, in list order.
    void GetPointsDb(float* inputDb, float* outputDb);
    void SetPointsDb(const float* inputDb, const float* outputDb, int count);
    void CopyPointsFrom(DrpCurve& other);
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

    // Level conversions of the plot (32-bit float arithmetic as the control does it).
    float InputDbOfX(int x);
    float OutputDbOfY(int y);
    int XOfInputDb(float db);
    int YOfOutputDb(float db);

  private:
    void EnsurePlotSize();

    bool editable = true;
    std::vector<Point> points;
    int plotWidth = 0;
    int plotHeight = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    int releaseMs = kDefaultReleaseMs;
};

}  // namespace tavrisk
