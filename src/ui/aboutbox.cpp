#include "ui/aboutbox.h"

#include "ui/logo.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

QLabel *Line(const QString &text, QWidget *parent, QColor color, int pixelSize, bool bold,
             QRect geometry, Qt::Alignment alignment)
{
    auto *label = new QLabel(text, parent);
    QFont font(u"Arial"_s);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAlignment(alignment);
    label->setGeometry(geometry);
    return label;
}

} // namespace

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"Form6"_s);
    setWindowTitle(u"About"_s);
    QFont font(u"Arial"_s);
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(236, 245);

    auto *panel = new QFrame(this);
    panel->setObjectName(u"Panel1"_s);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(8, 8, 220, 190);

    Line(u"Finds promiscuous network cards"_s, panel, Qt::blue, 12, false, QRect(6, 12, 208, 16),
         Qt::AlignHCenter)
        ->setObjectName(u"Description"_s);
    Line(u"Keelwatch Ver 3.0"_s, panel, Qt::red, 21, true, QRect(6, 44, 208, 26), Qt::AlignHCenter)
        ->setObjectName(u"Version"_s);
    Line(u"(3.0.5.0)"_s, panel, Qt::black, 11, false, QRect(6, 74, 196, 14), Qt::AlignRight)
        ->setObjectName(u"Build"_s);
    auto *logo = new QLabel(panel);
    logo->setObjectName(u"Image1"_s);
    logo->setPixmap(DrawLogo());
    logo->setGeometry(23, 118, 173, 49);

    auto *closeButton = new QPushButton(u"Close"_s, this);
    closeButton->setObjectName(u"Button1"_s);
    closeButton->setGeometry(80, 208, 75, 25);
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
}

} // namespace keelwatch
