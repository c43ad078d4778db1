#include "ui/alertmessagewindow.h"

#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace keelwatch {

AlertMessageWindow::AlertMessageWindow(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"TForm7"_s);
    // Shown while the user works elsewhere: it must not take the keys.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(tr("Alert"));

    messageText = new QTextEdit(this);
    messageText->setObjectName(u"Memo1"_s);
    messageText->setReadOnly(true);
    messageText->setFrameShape(QFrame::NoFrame);
    messageText->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    messageText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette face = messageText->palette();
    face.setColor(QPalette::Base, palette().color(QPalette::Window));
    messageText->setPalette(face);

    auto *okButton = new QPushButton(tr("OK"), this);
    okButton->setObjectName(u"Button1"_s);
    okButton->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(messageText, 1);
    layout->addWidget(okButton, 0, Qt::AlignHCenter);
    // Three lines of the message in its font; longer messages scroll.
    messageText->setFixedSize(
        messageText->fontMetrics().horizontalAdvance(u"Current file will be used as is"_s) + 24,
        messageText->fontMetrics().lineSpacing() * 3 + 12);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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
