// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace tavrisk {

namespace {

constexpr int kSize = 64;
constexpr int kGridStart = 12;
constexpr int kGridStep = 10;
constexpr int kGridLines = 5;

}  // namespace

QIcon AppIcon() {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(48, 48, 48));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    const int end = kGridStart + (kGridLines - 1) * kGridStep;
    for (int i = 0; i < kGridLines; ++i) {
        const int at = kGridStart + i * kGridStep;
        painter.drawLine(at, kGridStart, at, end);
        painter.drawLine(kGridStart, at, end, at);
    }
    const QPointF points[] = {{12, 52}, {30, 34}, {52, 24}};
    painter.setPen(QPen(QColor(255, 255, 0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(points, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    for (const QPointF& p : points) painter.drawRect(QRectF(p.x() - 2, p.y() - 2, 4, 4));
    painter.end();
    return QIcon(pixmap);
}

}  // namespace tavrisk
