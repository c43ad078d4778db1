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

    Image1 = new QLabel(this);
    Image1->setObjectName(u"Image1"_s);
    Image1->setGeometry(8, 8, 32, 32);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

    Label1 = new QLabel(u"Detect Promiscuous Node"_s, this);
    Label1->setObjectName(u"Label1"_s);
    Label1->setGeometry(52, 8, 324, 32);
    Label1->setFont(ArialPixels(19, true));
    PaintRed(Label1, QPalette::WindowText);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(u"Memo1"_s);
    Memo1->setGeometry(8, 48, 368, 144);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(ArialPixels(13, false));
    PaintRed(Memo1, QPalette::Text);

    Button1 = new QPushButton(u"Clear"_s, this);
    Button1->setObjectName(u"Button1"_s);
    Button1->setGeometry(216, 200, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &PromiscuousAlertWindow::Button1Click);

    Button2 = new QPushButton(u"Close"_s, this);
    Button2->setObjectName(u"Button2"_s);
    Button2->setGeometry(301, 200, 75, 25);
    connect(Button2, &QPushButton::clicked, this, &PromiscuousAlertWindow::Button2Click);
}

void PromiscuousAlertWindow::ShowPromiscuousAlert(int row, bool started)
{
    Memo1->appendPlainText(
        PromiscuousAlertLine(clock.Now(), started, nodes.Cell(row, NodeTable::IpColumn)));
    show();
    raise();
}

void PromiscuousAlertWindow::ShowIfHoldsLines()
{
    if (!Memo1->document()->isEmpty()) {
        show();
        raise();
    }
}

void PromiscuousAlertWindow::Button1Click()
{
    Memo1->clear();
}

void PromiscuousAlertWindow::Button2Click()
{
    hide();
}

} // namespace keelwatch
