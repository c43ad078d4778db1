#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace keelwatch {

// Whether the palette's windows are dark (a dark desktop theme).
bool IsDark(const QPalette &palette);

// Black or white, whichever reads better on background.
QColor ContrastingText(const QColor &background);

// The red of alert texts: a light red on dark windows, a deep one on light
// windows, so it reads on either.
QColor AlertRed(const QPalette &palette);

// The colours of GNOME's Adwaita dark theme as Qt takes them from it: the
// dark look for screenshots and tests, on machines without that theme.
QPalette AdwaitaDarkPalette();

// The desktop's font made larger or smaller, for titles that stand out.
QFont ScaledFont(const QFont &base, qreal scale, bool bold);

} // namespace keelwatch
