#include "ui/alertmessagewindow.h"

#include <QPushButton>
#include <QTextEdit>

using namespace Qt::StringLiterals;

namespace keelwatch {

AlertMessageWindow::AlertMessageWindow(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"TForm7"_s);
    setWindowTitle(u"Alert"_s);
    setFixedSize(238, 111);

    Memo1 = new QTextEdit(this);
    Memo1->setObjectName(u"Memo1"_s);
    Memo1->setGeometry(8, 8, 222, 66);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette face = Memo1->palette();
    face.setColor(QPalette::Base, palette().color(QPalette::Window));
    Memo1->setPalette(face);
    QFont font(u"Arial"_s);
    font.setPixelSize(12);
    Memo1->setFont(font);

    Button1 = new QPushButton(u"OK"_s, this);
    Button1->setObjectName(u"Button1"_s);
    Button1->setGeometry(82, 80, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &AlertMessageWindow::Button1Click);
}

void AlertMessageWindow::ShowAlertMessage(const QString &text)
{
    Memo1->setPlainText(QString(text).replace(u"\r\n"_s, u"\n"_s));
    Memo1->selectAll();
    Memo1->setAlignment(Qt::AlignCenter);
    Memo1->moveCursor(QTextCursor::Start);
    show();
    raise();
}

void AlertMessageWindow::Button1Click()
{
    hide();
}

} // namespace keelwatch
