#pragma once

#include <QHash>
#include <QRect>
#include <QString>

// The main window's layout pass, in twips (15 to a pixel), as a pure computation so the
// figures can be checked without a window. W and H are the window's outer size (frame
// included), SW the width of its client area.
class MainLayout
{
public:
    static constexpr int MinWidth = 12000;
    static constexpr int MinHeight = 8200;
    static constexpr int TwipsPerPixel = 15;

    struct Result
    {
        QHash<QString, QRect> rects; // control name -> geometry in twips, relative to its parent
        bool tooSmall = false;        // the minimum-size step must enlarge the window first
        int minW = 0;
        int minH = 0;
    };

    // Steps 1..15 always; the minimum-size test; then the rest. When the window is below the
    // minimum, the caller resizes it and runs the pass again for the new size.
    static Result compute(int W, int H, int SW);

    // The top-level-domain row inside its frame: fixed design positions.
    static QHash<QString, QRect> domainRow();

    static int toPixels(int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; }
    static QRect toPixels(const QRect &twips);
};
