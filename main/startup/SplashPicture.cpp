#include "startup/SplashPicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace SplashPicture {

QPixmap draw()
{
    QPixmap pixmap(Width, Height);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, Width, Height);
    sky.setColorAt(0.0, QColor(0xf7, 0xfa, 0xfd));
    sky.setColorAt(1.0, QColor(0xe3, 0xee, 0xf8));
    p.fillRect(pixmap.rect(), sky);

    // A soft arc across the right side keeps the picture from looking empty.
    QPainterPath arc;
    arc.moveTo(Width * 0.55, Height);
    arc.cubicTo(Width * 0.70, Height * 0.35, Width * 0.88, Height * 0.10, Width, Height * 0.05);
    arc.lineTo(Width, Height);
    arc.closeSubpath();
    p.fillPath(arc, QColor(0xd2, 0xe4, 0xf4, 160));

    // The mark: a ring with a short tail, a "Q" reduced to a sign.
    const QColor accent(0x2b, 0x6c, 0xb0);
    const QRectF ring(22, 22, 48, 48);
    p.setPen(QPen(accent, 7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(ring);
    p.drawLine(QPointF(58, 58), QPointF(72, 72));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf2, 0x9b, 0x38));
    p.drawEllipse(QPointF(46, 46), 6, 6);

    QFont name(QStringLiteral("Sans Serif"));
    name.setPixelSize(36);
    name.setBold(true);
    name.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(name);
    p.setPen(QColor(0x1f, 0x33, 0x4a));
    p.drawText(QRect(90, 14, 300, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quorvex"));

    QFont line(QStringLiteral("Sans Serif"));
    line.setPixelSize(13);
    p.setFont(line);
    p.setPen(QColor(0x5b, 0x6f, 0x86));
    p.drawText(QRect(92, 58, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("域名查询 · 正在启动……"));

    p.setPen(QPen(QColor(0x2b, 0x6c, 0xb0, 90), 1));
    p.drawLine(QPointF(92, 56.5), QPointF(250, 56.5));
    return pixmap;
}

} // namespace SplashPicture
