#include "ui/aboutbox.h"

#include "ui/logo.h"
#include "ui/themecolours.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// A line in the desktop's font, scaled; coloured only where a colour is given.
QLabel *Line(const QString &text, QWidget *parent, QColor color, qreal scale, bool bold,
             Qt::Alignment alignment)
{
    auto *label = new QLabel(text, parent);
    label->setFont(ScaledFont(parent->font(), scale, bold));
    if (color.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
    }
    label->setAlignment(alignment);
    return label;
}

} // namespace

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"Form6"_s);
    setWindowTitle(tr("About"));

    auto *panel = new QFrame(this);
    panel->setObjectName(u"Panel1"_s);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(12, 12, 12, 16);

    const QPalette &colours = palette();
    QLabel *description = Line(tr("Finds promiscuous network cards"), panel,
                               colours.color(QPalette::Link), 1.1, false, Qt::AlignHCenter);
    description->setObjectName(u"Description"_s);
    QLabel *version =
        Line(u"Keelwatch Ver 3.0"_s, panel, AlertRed(colours), 1.9, true, Qt::AlignHCenter);
    version->setObjectName(u"Version"_s);
    QLabel *build = Line(u"(3.0.5.0)"_s, panel, QColor(), 1.0, false, Qt::AlignRight);
    build->setObjectName(u"Build"_s);
    auto *logo = new QLabel(panel);
    logo->setObjectName(u"Image1"_s);
    logo->setPixmap(DrawLogo(IsDark(colours), logo->devicePixelRatioF()));
    panelLayout->addWidget(description);
    panelLayout->addSpacing(12);
    panelLayout->addWidget(version);
    panelLayout->addWidget(build);
    panelLayout->addSpacing(24);
    panelLayout->addWidget(logo, 0, Qt::AlignHCenter);

    auto *closeButton = new QPushButton(tr("Close"), this);
    closeButton->setObjectName(u"Button1"_s);
    closeButton->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(closeButton, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
}

} // namespace keelwatch
