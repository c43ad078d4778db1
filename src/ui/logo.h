#pragma once

#include <QPixmap>

namespace keelwatch {

// The program's 173 x 49 logo on a transparent background.
QPixmap DrawLogo();

} // namespace keelwatch
