#include "ui/themecolours.h"

#include <cmath>

namespace keelwatch {

bool IsDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor ContrastingText(const QColor &background)
{
    // Relative luminance as the accessibility guidelines weigh it; black
    // wins above the point where both contrast ratios are equal.
    const auto linear = [](float channel) {
        return channel <= 0.03928f ? channel / 12.92f : std::pow((channel + 0.055f) / 1.055f, 2.4f);
    };
    const float luminance = 0.2126f * linear(background.redF()) +
                            0.7152f * linear(background.greenF()) +
                            0.0722f * linear(background.blueF());
    return luminance > 0.179f ? QColor(Qt::black) : QColor(Qt::white);
}

QColor AlertRed(const QPalette &palette)
{
    return IsDark(palette) ? QColor(0xFF, 0x6B, 0x6B) : QColor(0xC0, 0x00, 0x00);
}

QFont ScaledFont(const QFont &base, qreal scale, bool bold)
{
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale);
    else
        font.setPixelSize(qRound(font.pixelSize() * scale));
    font.setBold(bold);
    return font;
}

} // namespace keelwatch
