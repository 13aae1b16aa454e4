#pragma once

#include <QRect>

// The windows' fixed sizes and positions are written in twips, fifteen to a pixel.
namespace Twips {

constexpr int PerPixel = 15;

constexpr int toPixels(int twips)
{
    return (twips + PerPixel / 2) / PerPixel;
}

constexpr QRect toPixels(const QRect &twips)
{
    return QRect(toPixels(twips.left()), toPixels(twips.top()), toPixels(twips.width()), toPixels(twips.height()));
}

} // namespace Twips
