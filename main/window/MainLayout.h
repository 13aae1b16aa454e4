#pragma once

#include "generation/TopLevelDomains.h"

#include <QHash>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>

// The main window's layout pass, in twips, as a pure computation so the figures can be
// checked without a window. W and H are the window's outer size (frame included), SW the
// width of its client area.
class MainLayout
{
public:
    static constexpr int MinWidth = 12000;
    static constexpr int MinHeight = 8200;

    // One top-level domain in the domain row: its check box (TopLevelDomains' box index; the
    // control is Check<box + 1>), the caption beside it, and where both stand in the frame.
    struct DomainPair
    {
        int box;
        const char *label;
        int checkLeft;
        int labelLeft;
        int labelWidth;
        QString checkName() const { return QStringLiteral("Check%1").arg(box + 1); }
    };
    // The domain row from left to right, which is also the keyboard's order.
    static const std::array<DomainPair, TopLevelDomains::Count> &domainPairs();

    struct Result
    {
        QHash<QString, QRect> rects; // control name -> geometry in twips, relative to its parent
        QHash<QString, QRect> frame;  // the top-level-domain row's controls, relative to Frame2
        bool tooSmall = false;        // the minimum-size step must enlarge the window first
        bool tooLarge = false;        // larger than the screen offers: the window shrinks first
        int minW = 0;                 // the outer size to take first, when too small or too large
        int minH = 0;
    };

    // Steps 1..15 always; the minimum-size test; then the rest. When the window is below the
    // minimum, the caller resizes it and runs the pass again for the new size.
    // `available` is the outer size the screen offers: the minimum never asks for more. In a
    // window narrower than the minimum width (a small or scaled screen), the domain row and
    // the button row wrap onto further lines instead of running past the right edge.
    static Result compute(int W, int H, int SW, const QSize &available = QSize());

    // The top-level-domain row inside its frame, where it fits on one line.
    static QHash<QString, QRect> domainRow();
};
