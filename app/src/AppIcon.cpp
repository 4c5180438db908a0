#include "AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // Tile.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x3a, 0x5f));
    painter.drawRoundedRect(QRectF(0.03 * s, 0.03 * s, 0.94 * s, 0.94 * s), 0.18 * s, 0.18 * s);
    // Lens: outer ring, glass, highlight.
    painter.setBrush(QColor(0xe8, 0xee, 0xf4));
    painter.drawEllipse(QPointF(0.42 * s, 0.5 * s), 0.3 * s, 0.3 * s);
    painter.setBrush(QColor(0x10, 0x1c, 0x2c));
    painter.drawEllipse(QPointF(0.42 * s, 0.5 * s), 0.2 * s, 0.2 * s);
    painter.setBrush(QColor(0x4f, 0xa3, 0xe0));
    painter.drawEllipse(QPointF(0.42 * s, 0.5 * s), 0.1 * s, 0.1 * s);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(0.37 * s, 0.44 * s), 0.035 * s, 0.035 * s);
    // Arrow: the next address of the range.
    QPainterPath arrow;
    arrow.moveTo(0.74 * s, 0.36 * s);
    arrow.lineTo(0.92 * s, 0.5 * s);
    arrow.lineTo(0.74 * s, 0.64 * s);
    arrow.closeSubpath();
    painter.setBrush(QColor(0xf5, 0xa6, 0x23));
    painter.drawPath(arrow);
    return pixmap;
}

}  // namespace

QIcon LoadAppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(DrawIcon(size));
    return icon;
}
