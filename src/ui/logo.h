#pragma once

#include <QIcon>
#include <QPixmap>

namespace keelwatch {

// The program's 173 x 49 logo on a transparent background; its name in
// light letters for a dark background.
QPixmap DrawLogo(bool darkBackground = false);

// The logo's hull and wave alone, square, as the windows' icon.
QIcon ProgramIcon();

} // namespace keelwatch
