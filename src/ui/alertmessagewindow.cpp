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

    messageText = new QTextEdit(this);
    messageText->setObjectName(u"Memo1"_s);
    messageText->setGeometry(8, 8, 222, 66);
    messageText->setReadOnly(true);
    messageText->setFrameShape(QFrame::NoFrame);
    messageText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    messageText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette face = messageText->palette();
    face.setColor(QPalette::Base, palette().color(QPalette::Window));
    messageText->setPalette(face);
    QFont font(u"Arial"_s);
    font.setPixelSize(12);
    messageText->setFont(font);

    auto *okButton = new QPushButton(u"OK"_s, this);
    okButton->setObjectName(u"Button1"_s);
    okButton->setGeometry(82, 80, 75, 25);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QWidget::hide);
}

void AlertMessageWindow::ShowAlertMessage(const QString &text)
{
    messageText->setPlainText(QString(text).replace(u"\r\n"_s, u"\n"_s));
    messageText->selectAll();
    messageText->setAlignment(Qt::AlignCenter);
    messageText->moveCursor(QTextCursor::Start);
    show();
    raise();
}

} // namespace keelwatch
