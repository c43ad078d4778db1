#include "ui/logo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

using namespace Qt::StringLiterals;

namespace keelwatch {

QPixmap DrawLogo()
{
    QPixmap logo(173, 49);
    logo.fill(Qt::transparent);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);

    // A hull riding on a wave, its keel reaching below the waterline.
    const QColor navy(0x1A, 0x3A, 0x6B);
    const QColor sea(0x2E, 0x86, 0xC1);
    p.setPen(Qt::NoPen);
    p.setBrush(navy);
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
    p.setPen(QPen(sea, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);

    QFont title(u"Arial"_s);
    title.setPixelSize(24);
    title.setBold(true);
    p.setFont(title);
    p.setPen(navy);
    p.drawText(QRect(52, 2, 121, 30), Qt::AlignLeft | Qt::AlignVCenter, u"Keelwatch"_s);

    QFont motto(u"Arial"_s);
    motto.setPixelSize(10);
    p.setFont(motto);
    p.setPen(sea);
    p.drawText(QRect(53, 31, 120, 14), Qt::AlignLeft | Qt::AlignVCenter,
               u"promiscuous node finder"_s);
    return logo;
}

} // namespace keelwatch
