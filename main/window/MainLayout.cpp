#include "window/MainLayout.h"

#include <cstdlib>

namespace {
// Fixed sizes of the window's design (twips).
constexpr int Combo1W = 615, Combo1H = 300;
constexpr int Label9W = 1095, RowH = 255;
constexpr int Command1W = 1455, Command10W = 1215, Command11W = 1215;
constexpr int DomaingzH = 270, Frame2H = 495, RichW = 1875;
constexpr int GenButtonW = 855, Command8W = 1455, Command9W = 1815, Command12W = 2295;
} // namespace

MainLayout::Result MainLayout::compute(int W, int H, int SW)
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
    const struct { const char *name; int width; } buttons[] = {
        {"Command2", GenButtonW}, {"Command3", GenButtonW}, {"Command4", GenButtonW},
        {"Command5", GenButtonW}, {"Command6", GenButtonW}, {"Command7", GenButtonW},
        {"Command8", Command8W}, {"Command9", Command9W}, {"Command12", Command12W},
    };
    int left = 120;
    for (const auto &b : buttons) {
        g[QString::fromLatin1(b.name)] = QRect(left, buttonTop, b.width, RowH);
        left += b.width + 120;
    }

    // 16: below the minimum the window grows first; the pass then runs for the new size.
    if (W < MinWidth || H < MinHeight) {
        r.tooSmall = true;
        r.minW = qMax(W, MinWidth);
        r.minH = qMax(H, MinHeight);
    }

    // 17-20.
    g[QStringLiteral("Combo1")] = QRect(comboLeft, domaingz.top(), Combo1W, Combo1H);
    g[QStringLiteral("SkinLabel9")] = QRect(label9Left, domaingz.top() + 40, Label9W, RowH);
    const QRect rich(list.left() + list.width() + 120, list.top(), RichW, list.height());
    g[QStringLiteral("RichTextBox1")] = rich;
    const QRect label12(rich.left(), 960, rich.width(), RowH);
    g[QStringLiteral("SkinLabel12")] = label12;
    g[QStringLiteral("SkinLabel14")] = QRect(list.left(), label12.top(), list.width(), RowH);
    return r;
}

QHash<QString, QRect> MainLayout::domainRow()
{
    QHash<QString, QRect> g;
    g[QStringLiteral("SkinLabel10")] = QRect(0, 120 + 40, 975, RowH);
    const struct { const char *check; int checkLeft; const char *label; int labelLeft; int labelWidth; } row[] = {
        {"Check1", 1080, "SkinLabel1", 1440, 375},
        {"Check2", 2040, "SkinLabel2", 2400, 255},
        {"Check3", 2880, "SkinLabel3", 3240, 495},
        {"Check5", 3960, "SkinLabel5", 4320, 615},
        {"Check8", 5040, "SkinLabel11", 5400, 375},
        {"Check4", 6000, "SkinLabel4", 6360, 735},
        {"Check6", 7320, "SkinLabel6", 7680, 735},
        {"Check7", 8640, "SkinLabel7", 9000, 735},
        {"Check9", 9840, "SkinLabel8", 10200, 495},
    };
    for (const auto &e : row) {
        g[QString::fromLatin1(e.check)] = QRect(e.checkLeft, 120, 255, RowH);
        g[QString::fromLatin1(e.label)] = QRect(e.labelLeft, 120, e.labelWidth, RowH);
    }
    return g;
}

QRect MainLayout::toPixels(const QRect &twips)
{
    return QRect(toPixels(twips.left()), toPixels(twips.top()), toPixels(twips.width()), toPixels(twips.height()));
}
