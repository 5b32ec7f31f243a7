// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <optional>

#include "dsp/DrpCurve.h"
#include "gui/CurveMouse.h"

class QLabel;

namespace tavrisk {

// Shows a transfer curve on its -100..0 dB square: grid, identity reference, ticks, scale
// labels on large plots, the polyline and its point handles. Editable curves take the mouse
// (CurveMouse); a read-only one reports a click, which opens its editor.
class CurveView : public QWidget {
    Q_OBJECT

  public:
    // A view of width x height pixels; the curve's grid is the view's plot
    // (CurvePlot::OfView), so that each of its steps is a pixel.
    // A view the mouse edits, when the curve is editable.
    CurveView(DrpCurve& curve, int width, int height, QWidget* parent = nullptr);
    // A view that only shows the curve (the main window's, whose curves change through the
    // model's handlers): a click reports, which opens the editor.
    CurveView(const DrpCurve& curve, int width, int height, QWidget* parent = nullptr);
    // Where the position readout goes (not owned; may be null).
    void SetReadout(QLabel* label) { readout = label; }

  signals:
    void clicked();
    void curveChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void Edited(bool changed);

    const DrpCurve& curve;
    // Only for an editable curve.
    std::optional<CurveMouse> mouse;
    QLabel* readout = nullptr;
};

}  // namespace tavrisk
