#include "ui/promiscuousalertwindow.h"

#include "report/eventline.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

QFont ArialPixels(int pixels, bool bold)
{
    QFont font(u"Arial"_s);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void PaintRed(QWidget *widget, QPalette::ColorRole role)
{
    QPalette palette = widget->palette();
    palette.setColor(role, Qt::red);
    widget->setPalette(palette);
}

} // namespace

PromiscuousAlertWindow::PromiscuousAlertWindow(const Clock &clock, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      clock(clock)
{
    setObjectName(u"TForm10"_s);
    setWindowTitle(u"Alert"_s);
    setMinimumSize(384, 233);

    auto *warningIcon = new QLabel(this);
    warningIcon->setObjectName(u"Image1"_s);
    warningIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

    auto *title = new QLabel(u"Detect Promiscuous Node"_s, this);
    title->setObjectName(u"Label1"_s);
    title->setFont(ArialPixels(19, true));
    PaintRed(title, QPalette::WindowText);

    alertLines = new QPlainTextEdit(this);
    alertLines->setObjectName(u"Memo1"_s);
    alertLines->setReadOnly(true);
    alertLines->setLineWrapMode(QPlainTextEdit::NoWrap);
    alertLines->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    alertLines->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    alertLines->setFont(ArialPixels(13, false));
    PaintRed(alertLines, QPalette::Text);

    auto *clearButton = new QPushButton(u"Clear"_s, this);
    clearButton->setObjectName(u"Button1"_s);
    connect(clearButton, &QPushButton::clicked, alertLines, &QPlainTextEdit::clear);

    auto *closeButton = new QPushButton(u"Close"_s, this);
    closeButton->setObjectName(u"Button2"_s);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);

    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(warningIcon);
    titleRow->addWidget(title, 1);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(clearButton);
    buttonRow->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(titleRow);
    layout->addWidget(alertLines, 1);
    layout->addLayout(buttonRow);
}

void PromiscuousAlertWindow::Listen(const ScanEvents &events)
{
    connect(&events, &ScanEvents::promiscuousStarted, this,
            [this](const Node &node) { ShowPromiscuousAlert(node, true); });
    connect(&events, &ScanEvents::promiscuousStopped, this,
            [this](const Node &node) { ShowPromiscuousAlert(node, false); });
}

void PromiscuousAlertWindow::ShowPromiscuousAlert(const Node &node, bool started)
{
    const QString line = PromiscuousAlertLine(clock.Now(), started, node.ip.ToText());
    alertLines->appendPlainText(line);
    show();
    raise();
    Q_EMIT alertShown(line, started);
}

void PromiscuousAlertWindow::ShowIfHoldsLines()
{
    if (!alertLines->document()->isEmpty()) {
        show();
        raise();
    }
}

void PromiscuousAlertWindow::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        Q_EMIT hidden();
}

} // namespace keelwatch
