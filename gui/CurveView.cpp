// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/CurveView.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include "gui/CurvePlot.h"

namespace tavrisk {

namespace {

const QColor kBackground(48, 48, 48);
const QColor kGrid(120, 120, 120);
const QColor kCurve(255, 255, 0);
constexpr int kDivisions = 10;
constexpr int kTicksPerDivision = 4;
constexpr int kHandle = 2;
constexpr int kLabelPoints = 7;

}  // namespace

CurveView::CurveView(DrpCurve& curve, int width, int height, QWidget* parent)
    : CurveView(static_cast<const DrpCurve&>(curve), width, height, parent) {
    if (curve.IsEditable()) mouse.emplace(curve);
}

CurveView::CurveView(const DrpCurve& curve, int width, int height, QWidget* parent)
    : QWidget(parent), curve(curve) {
    setFixedSize(width, height);
    setMouseTracking(true);
}

void CurveView::paintEvent(QPaintEvent*) {
    const CurvePlot plot{curve.GridWidth(), curve.GridHeight()};
    const int w = plot.width;
    const int h = plot.height;
    QPainter painter(this);
    painter.fillRect(rect().adjusted(-2, -2, 2, 2), kBackground);

    const float stepX = 0.1f * static_cast<float>(w);
    const float stepY = 0.1f * static_cast<float>(h);
    painter.setPen(QPen(kGrid, 1, Qt::SolidLine));
    for (int i = 0; i <= kDivisions; ++i) {
        const int x = static_cast<int>(static_cast<float>(i) * stepX + 1);
        const int y = static_cast<int>(static_cast<float>(i) * stepY + 1);
        painter.drawLine(x, 1, x, h + 1);
        painter.drawLine(1, y, w + 1, y);
    }
    painter.setPen(QPen(kGrid, 1, Qt::DotLine));
    painter.drawLine(0, h, w, 0);

    painter.setPen(QPen(Qt::white, 1, Qt::SolidLine));
    for (int i = 0; i <= kDivisions * kTicksPerDivision; ++i) {
        const int length = i % kTicksPerDivision == 0 ? 4 : 2;
        const int y = static_cast<int>(static_cast<float>(i) * stepY * 0.25f + 1);
        const int x = static_cast<int>(static_cast<float>(i) * stepX * 0.25f + 1);
        painter.drawLine(w + 1, y, w + length, y);
        painter.drawLine(x, h + 1, x, h + length);
    }

    if (plot.ShowsLabels()) {
        QFont font("arial");
        font.setPointSize(kLabelPoints);
        painter.setFont(font);
        const int ascent = painter.fontMetrics().ascent();
        // Text positions are those of the top-left corner of the text.
        for (int i = 0; i <= kDivisions; ++i) {
            const QString right = i == 0 ? QStringLiteral("dB") : QString::number(-10 * i);
            const int y = i == 0 ? 0 : static_cast<int>(static_cast<float>(i) * stepY - 5);
            painter.drawText(w + 10, y + ascent, right);
            const QString bottom =
                i == 0 ? QStringLiteral("dB") : QString::number(-10 * (kDivisions - i));
            const int x = i == 0 ? 1 : static_cast<int>(static_cast<float>(i) * stepX);
            painter.drawText(x, h + 4 + ascent, bottom);
        }
    }

    const auto& points = curve.Points();
    QPolygon line;
    for (const auto& p : points) line << QPoint(p.x, p.y);
    painter.setPen(QPen(kCurve, 1, Qt::SolidLine));
    painter.drawPolyline(line);
    for (const auto& p : points)
        painter.fillRect(p.x - kHandle, p.y - kHandle, 2 * kHandle, 2 * kHandle, Qt::white);
}

void CurveView::Edited(bool changed) {
    if (!changed) return;
    update();
    emit curveChanged();
}

void CurveView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (!mouse) {
        if (event->button() == Qt::LeftButton) emit clicked();
        return;
    }
    if (event->button() == Qt::LeftButton) Edited(mouse->LeftDown(at.x(), at.y()));
    if (event->button() == Qt::RightButton) mouse->RightDown(at.x(), at.y());
}

void CurveView::mouseMoveEvent(QMouseEvent* event) {
    if (!mouse) return;
    const QPoint at = event->position().toPoint();
    if (readout) readout->setText(QString::fromStdString(mouse->Readout(at.x(), at.y())));
    Edited(mouse->Move(at.x(), at.y()));
}

void CurveView::mouseReleaseEvent(QMouseEvent* event) {
    if (!mouse) return;
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) mouse->LeftUp();
    if (event->button() == Qt::RightButton) Edited(mouse->RightUp(at.x(), at.y()));
}

}  // namespace tavrisk
