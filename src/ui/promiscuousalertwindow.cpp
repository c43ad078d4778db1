#include "ui/promiscuousalertwindow.h"

#include "report/eventline.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

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

PromiscuousAlertWindow::PromiscuousAlertWindow(const NodeTable &nodes, const Clock &clock,
                                               QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      nodes(nodes), clock(clock)
{
    setObjectName(u"TForm10"_s);
    setWindowTitle(u"Alert"_s);
    setFixedSize(384, 233);

    auto *warningIcon = new QLabel(this);
    warningIcon->setObjectName(u"Image1"_s);
    warningIcon->setGeometry(8, 8, 32, 32);
    warningIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

    auto *title = new QLabel(u"Detect Promiscuous Node"_s, this);
    title->setObjectName(u"Label1"_s);
    title->setGeometry(52, 8, 324, 32);
    title->setFont(ArialPixels(19, true));
    PaintRed(title, QPalette::WindowText);

    alertLines = new QPlainTextEdit(this);
    alertLines->setObjectName(u"Memo1"_s);
    alertLines->setGeometry(8, 48, 368, 144);
    alertLines->setReadOnly(true);
    alertLines->setLineWrapMode(QPlainTextEdit::NoWrap);
    alertLines->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    alertLines->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    alertLines->setFont(ArialPixels(13, false));
    PaintRed(alertLines, QPalette::Text);

    auto *clearButton = new QPushButton(u"Clear"_s, this);
    clearButton->setObjectName(u"Button1"_s);
    clearButton->setGeometry(216, 200, 75, 25);
    connect(clearButton, &QPushButton::clicked, alertLines, &QPlainTextEdit::clear);

    auto *closeButton = new QPushButton(u"Close"_s, this);
    closeButton->setObjectName(u"Button2"_s);
    closeButton->setGeometry(301, 200, 75, 25);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
}

void PromiscuousAlertWindow::ShowPromiscuousAlert(int row, bool started)
{
    alertLines->appendPlainText(
        PromiscuousAlertLine(clock.Now(), started, nodes.Cell(row, NodeTable::IpColumn)));
    show();
    raise();
}

void PromiscuousAlertWindow::ShowIfHoldsLines()
{
    if (!alertLines->document()->isEmpty()) {
        show();
        raise();
    }
}

} // namespace keelwatch
