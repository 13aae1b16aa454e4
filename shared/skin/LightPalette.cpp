#include "skin/LightPalette.h"

#include <QApplication>
#include <QToolTip>

QPalette LightPalette::palette()
{
    // The skin's colours: a pale blue-grey ground, white fields, dark slate text.
    const QColor text(0x1f, 0x2d, 0x3d);
    const QColor window(0xf4, 0xf7, 0xfb);
    const QColor button(0xe9, 0xef, 0xf6);
    const QColor base(0xff, 0xff, 0xff);
    QPalette p(text, button, QColor(0xff, 0xff, 0xff), QColor(0x9f, 0xb3, 0xc8), QColor(0xc8, 0xd4, 0xe2), text,
               QColor(0xff, 0xff, 0xff), base, window);
    p.setColor(QPalette::AlternateBase, QColor(0xf7, 0xf9, 0xfc));
    p.setColor(QPalette::Shadow, QColor(0x5a, 0x6b, 0x7d));
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x7b, 0xd9));
    p.setColor(QPalette::HighlightedText, QColor(0xff, 0xff, 0xff));
    p.setColor(QPalette::Link, QColor(0x1d, 0x5f, 0xbf));
    p.setColor(QPalette::LinkVisited, QColor(0x6a, 0x3d, 0xb8));
    p.setColor(QPalette::ToolTipBase, QColor(0xff, 0xfb, 0xe6));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x7d, 0x8b, 0x99));
    const QColor disabledText(0x9a, 0xa8, 0xb7);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0xb8, 0xc6, 0xd6));
    return p;
}

void LightPalette::apply()
{
    const QPalette p = palette();
    QApplication::setPalette(p);
    QToolTip::setPalette(p);
}
