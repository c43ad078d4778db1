#include "ui/messagebox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>

namespace keelwatch {

QString WindowText(const QString &text)
{
    return QCoreApplication::translate("MessageSink", text.toUtf8().constData());
}

MessageSink MessageBoxSink(QWidget *parent)
{
    return [guard = QPointer<QWidget>(parent)](const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                                    WindowText(text), QMessageBox::Ok, guard.data());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
}

} // namespace keelwatch
