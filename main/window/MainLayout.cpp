#include "window/MainLayout.h"

#include <cstdlib>
#include <limits>

namespace {
// Fixed sizes of the controls (twips).
constexpr int Combo1W = 615, Combo1H = 300;
constexpr int Label9W = 1095, RowH = 255;
constexpr int Command1W = 1455, Command10W = 1215, Command11W = 1215;
constexpr int DomaingzH = 270, Frame2H = 495, RichW = 1875;
constexpr int GenButtonW = 855, Command8W = 1455, Command9W = 1815, Command12W = 2295;
constexpr int Gap = 120;
constexpr int LinePitch = RowH + Gap; // a wrapped line of the domain row or the button row

// .com .cn .net .la .me .com.cn .net.cn .name .info.
const std::array<MainLayout::DomainPair, TopLevelDomains::Count> DomainPairs{{
    {0, "SkinLabel1", 1080, 1440, 375},
    {1, "SkinLabel2", 2040, 2400, 255},
    {2, "SkinLabel3", 2880, 3240, 495},
    {4, "SkinLabel5", 3960, 4320, 615},
    {7, "SkinLabel11", 5040, 5400, 375},
    {3, "SkinLabel4", 6000, 6360, 735},
    {5, "SkinLabel6", 7320, 7680, 735},
    {6, "SkinLabel7", 8640, 9000, 735},
    {8, "SkinLabel8", 9840, 10200, 495},
}};

const struct { const char *name; int width; } Buttons[] = {
    {"Command2", GenButtonW}, {"Command3", GenButtonW}, {"Command4", GenButtonW},
    {"Command5", GenButtonW}, {"Command6", GenButtonW}, {"Command7", GenButtonW},
    {"Command8", Command8W}, {"Command9", Command9W}, {"Command12", Command12W},
};

// Below the minimum width: pairs of the domain row that would pass the client's right edge
// SW start a new line under the first check box, buttons of the button row that would pass it
// start a new line, the lines of buttons stacking upwards from the bottom. The lists give up
// the height the extra lines take. Nothing moves while everything fits.
void wrapRows(MainLayout::Result &r, int SW)
{
    auto &g = r.rects;
    const int frameLeft = g.value(QStringLiteral("Frame2")).left();
    int domainLine = 0;
    int dx = 0;
    bool firstOnLine = true;
    for (const auto &e : DomainPairs) {
        if (!firstOnLine && frameLeft + e.labelLeft + e.labelWidth + dx > SW) {
            ++domainLine;
            dx = DomainPairs[0].checkLeft - e.checkLeft;
        }
        firstOnLine = false;
        const int dy = domainLine * LinePitch;
        r.frame[e.checkName()].translate(dx, dy);
        r.frame[QString::fromLatin1(e.label)].translate(dx, dy);
    }

    int buttonLine = 0;
    int left = Gap;
    QList<std::pair<const char *, int>> lineOf;
    for (const auto &b : Buttons) {
        if (left > Gap && left + b.width > SW) {
            ++buttonLine;
            left = Gap;
        }
        QRect &rect = g[QString::fromLatin1(b.name)];
        rect.moveLeft(left);
        lineOf.append({b.name, buttonLine});
        left += b.width + Gap;
    }
    for (const auto &[name, line] : lineOf)
        g[QString::fromLatin1(name)].translate(0, -(buttonLine - line) * LinePitch);

    const int domainExtra = domainLine * LinePitch;
    const int buttonExtra = buttonLine * LinePitch;
    if (domainExtra == 0 && buttonExtra == 0)
        return;
    g[QStringLiteral("Frame2")].setHeight(Frame2H + domainExtra);
    for (const char *n : {"SkinLabel12", "SkinLabel14"})
        g[QString::fromLatin1(n)].translate(0, domainExtra);
    for (const char *n : {"domainlist", "RichTextBox1"}) {
        QRect &rect = g[QString::fromLatin1(n)];
        rect.setTop(rect.top() + domainExtra);
        rect.setHeight(qMax(0, rect.height() - buttonExtra));
    }
}
} // namespace

MainLayout::Result MainLayout::compute(int W, int H, int SW, const QSize &available)
{
    Result r;
    auto &g = r.rects;

    // 1-2: the top-level-domain row.
    g[QStringLiteral("Frame2")] = QRect(120, 460, SW, Frame2H);

    // 3-10: the rule row, chained left to right with gaps of 120.
    const int ruleW = std::abs(W - Command1W - Combo1W - Label9W - 680 - Command10W - 120 - Command11W - 120);
    const QRect domaingz(120, 180, ruleW, DomaingzH);
    g[QStringLiteral("domaingz")] = domaingz;
    const int comboLeft = domaingz.left() + domaingz.width() + 120;
    const int label9Left = comboLeft + Combo1W + 120;
    const int command1Left = label9Left + Label9W + 120;
    const int command10Left = command1Left + Command1W + 120;
    const int command11Left = command10Left + Command10W + 120;
    g[QStringLiteral("Command1")] = QRect(command1Left, domaingz.top(), Command1W, RowH);
    g[QStringLiteral("Command10")] = QRect(command10Left, domaingz.top(), Command10W, RowH);
    g[QStringLiteral("Command11")] = QRect(command11Left, domaingz.top(), Command11W, RowH);

    // 11-13: the task list stretches with the window.
    const QRect list(120, 1200, std::abs(W - 1585 - 4950), std::abs(H - 2000));
    g[QStringLiteral("domainlist")] = list;

    // 14-15: the button row.
    const int buttonTop = std::abs(H - 700);
    int left = 120;
    for (const auto &b : Buttons) {
        g[QString::fromLatin1(b.name)] = QRect(left, buttonTop, b.width, RowH);
        left += b.width + 120;
    }

    // 16: below the minimum the window grows first; the pass then runs for the new size. The
    // minimum is MinWidth x MinHeight, or what the screen offers where that is less; a window larger
    // than the screen (moved to a smaller or scaled screen) shrinks to it the same way.
    const int maxW = available.width() > 0 ? available.width() : std::numeric_limits<int>::max();
    const int maxH = available.height() > 0 ? available.height() : std::numeric_limits<int>::max();
    const int minW = qMin(int(MinWidth), maxW);
    const int minH = qMin(int(MinHeight), maxH);
    if (W < minW || H < minH)
        r.tooSmall = true;
    else if (W > maxW || H > maxH)
        r.tooLarge = true;
    r.minW = qBound(minW, W, maxW);
    r.minH = qBound(minH, H, maxH);

    // 17-20.
    g[QStringLiteral("Combo1")] = QRect(comboLeft, domaingz.top(), Combo1W, Combo1H);
    g[QStringLiteral("SkinLabel9")] = QRect(label9Left, domaingz.top() + 40, Label9W, RowH);
    const QRect rich(list.left() + list.width() + 120, list.top(), RichW, list.height());
    g[QStringLiteral("RichTextBox1")] = rich;
    const QRect label12(rich.left(), 960, rich.width(), RowH);
    g[QStringLiteral("SkinLabel12")] = label12;
    g[QStringLiteral("SkinLabel14")] = QRect(list.left(), label12.top(), list.width(), RowH);

    r.frame = domainRow();
    wrapRows(r, SW);
    return r;
}

QHash<QString, QRect> MainLayout::domainRow()
{
    QHash<QString, QRect> g;
    g[QStringLiteral("SkinLabel10")] = QRect(0, 120 + 40, 975, RowH);
    for (const auto &e : DomainPairs) {
        g[e.checkName()] = QRect(e.checkLeft, 120, 255, RowH);
        g[QString::fromLatin1(e.label)] = QRect(e.labelLeft, 120, e.labelWidth, RowH);
    }
    return g;
}

const std::array<MainLayout::DomainPair, TopLevelDomains::Count> &MainLayout::domainPairs()
{
    return DomainPairs;
}
