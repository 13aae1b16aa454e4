#pragma once

#include <QIcon>

// The programs' icon: the drawing of packaging/quorvex.svg (a list of names under a magnifier
// that has found a free one), painted here so no image plugin is needed at run time.
class WindowIcon
{
public:
    static QIcon icon();
    // The drawing at `size` x `size` pixels.
    static QPixmap pixmap(int size);
};
