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

QPalette AdwaitaDarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEC));
    dark.setColor(QPalette::Base, QColor(0x2D, 0x2D, 0x2D));
    dark.setColor(QPalette::AlternateBase, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEC));
    dark.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3A));
    dark.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEC));
    dark.setColor(QPalette::Highlight, QColor(0x15, 0x53, 0x9E));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x8A, 0xB4, 0xF8));
    dark.setColor(QPalette::ToolTipBase, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ToolTipText, QColor(0xEE, 0xEE, 0xEC));
    dark.setColor(QPalette::PlaceholderText, QColor(0x9A, 0x9A, 0x98));
    dark.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x4A));
    dark.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x40));
    dark.setColor(QPalette::Mid, QColor(0x2A, 0x2A, 0x2A));
    dark.setColor(QPalette::Dark, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Shadow, Qt::black);
    // Switched-off controls (the range and Start during a scan) in the
    // theme's insensitive grey, told apart from the live ones.
    const QColor insensitive(0x91, 0x91, 0x90);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, insensitive);
    dark.setColor(QPalette::Disabled, QPalette::Base, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Disabled, QPalette::Button, QColor(0x35, 0x35, 0x35));
    return dark;
}

} // namespace keelwatch
