#include "ui/logo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QColor Navy(0x1A, 0x3A, 0x6B);
const QColor Sea(0x2E, 0x86, 0xC1);
// The hull on a dark window, where navy would all but vanish.
const QColor LightHull(0x9C, 0xB8, 0xE0);

// A hull riding on a wave, its keel reaching below the waterline, in a
// 48 x 49 square.
void DrawEmblem(QPainter &p, bool darkBackground = false)
{
    p.setPen(Qt::NoPen);
    p.setBrush(darkBackground ? LightHull : Navy);
    p.drawPolygon(QPolygonF({{4, 20}, {44, 20}, {37, 30}, {11, 30}}));
    p.drawPolygon(QPolygonF({{21, 30}, {27, 30}, {25, 44}, {23, 44}}));
    QLinearGradient sail(24, 3, 38, 18);
    sail.setColorAt(0, QColor(0xE7, 0x4C, 0x3C));
    sail.setColorAt(1, QColor(0xF3, 0x9C, 0x12));
    p.setBrush(sail);
    p.drawPolygon(QPolygonF({{24, 3}, {24, 18}, {38, 18}}));

    QPainterPath wave;
    wave.moveTo(0, 33);
    for (int x = 0; x < 48; x += 12) {
        wave.quadTo(x + 3, 29, x + 6, 33);
        wave.quadTo(x + 9, 37, x + 12, 33);
    }
    p.setPen(QPen(Sea, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
}

} // namespace

QPixmap DrawLogo(bool darkBackground, qreal pixelRatio)
{
    // Drawn at the screen's own pixels, so that it stays sharp when scaled.
    QPixmap logo(qCeil(173 * pixelRatio), qCeil(49 * pixelRatio));
    logo.setDevicePixelRatio(pixelRatio);
    logo.fill(Qt::transparent);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    DrawEmblem(p, darkBackground);

    QFont title(u"Arial"_s);
    title.setPixelSize(24);
    title.setBold(true);
    p.setFont(title);
    p.setPen(darkBackground ? QColor(0xDC, 0xE6, 0xF5) : Navy);
    p.drawText(QRect(52, 2, 121, 30), Qt::AlignLeft | Qt::AlignVCenter, u"Keelwatch"_s);

    QFont motto(u"Arial"_s);
    motto.setPixelSize(10);
    p.setFont(motto);
    p.setPen(darkBackground ? QColor(0x7F, 0xC4, 0xF0) : Sea);
    p.drawText(QRect(53, 31, 120, 14), Qt::AlignLeft | Qt::AlignVCenter,
               u"promiscuous node finder"_s);
    return logo;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 49.0, size / 49.0);
        DrawEmblem(p);
        p.end();
        icon.addPixmap(picture);
    }
    return icon;
}

} // namespace keelwatch
