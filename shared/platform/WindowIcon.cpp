#include "platform/WindowIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QPixmap WindowIcon::pixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0); // drawn in the SVG's 128 x 128 units
    p.setPen(Qt::NoPen);

    // Tile.
    p.setBrush(QColor(0x2a, 0x6d, 0xb5));
    p.drawRoundedRect(QRectF(6, 6, 116, 116), 22, 22);

    // The task list: numbered rows.
    p.setBrush(QColor(0xf4, 0xf8, 0xfc));
    p.drawRoundedRect(QRectF(20, 22, 70, 80), 6, 6);
    const qreal rowWidths[] = {44, 36, 40, 30, 42};
    for (int i = 0; i < 5; ++i) {
        const qreal y = 35 + 14 * i;
        p.setBrush(QColor(0x1c, 0x4f, 0x8c));
        p.drawEllipse(QPointF(29, y), 3, 3);
        p.setBrush(QColor(0x8f, 0xb0, 0xd4));
        p.drawRoundedRect(QRectF(36, y - 2.5, rowWidths[i], 5), 2.5, 2.5);
    }

    // The magnifier with a tick: a name found free.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xf0, 0xa0, 0x20), 11, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(92, 92), QPointF(110, 110));
    p.setPen(QPen(QColor(0xff, 0xc6, 0x5a), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(92, 92), QPointF(110, 110));
    p.setPen(QPen(QColor(0xf0, 0xa0, 0x20), 7));
    p.setBrush(QColor(0xe6, 0xf3, 0xff));
    p.drawEllipse(QPointF(76, 76), 23, 23);
    QPainterPath tick;
    tick.moveTo(65, 76);
    tick.lineTo(73, 84);
    tick.lineTo(88, 67);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x2e, 0x9e, 0x44), 6.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return pixmap;
}

QIcon WindowIcon::icon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(pixmap(size));
    return icon;
}
