#pragma once

#include <QIcon>
#include <QPixmap>

namespace keelwatch {

// The program's 173 x 49 logo on a transparent background, in pixelRatio
// device pixels per pixel; its hull and name in light colours for a dark
// background.
QPixmap DrawLogo(bool darkBackground = false, qreal pixelRatio = 1);

// The logo's hull and wave alone, square, as the windows' icon.
QIcon ProgramIcon();

} // namespace keelwatch
