#pragma once

#include <QPixmap>

// The splash picture, drawn at start-up rather than shipped as a file.
namespace SplashPicture {

constexpr int Width = 425;
constexpr int Height = 93;

QPixmap draw();

} // namespace SplashPicture
