#include "ui/commentsave.h"

#include "report/commenttable.h"

#include <QCoreApplication>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace keelwatch {

RetryQuestion RetryBox(QWidget *parent)
{
    return [parent](const QString &error) {
        return QMessageBox::warning(
                   parent, QCoreApplication::applicationName(),
                   error + u"\n\nClosing now loses the comments changed since start."_s,
                   QMessageBox::Retry | QMessageBox::Close,
                   QMessageBox::Retry) == QMessageBox::Retry;
    };
}

bool SaveCommentsAtExit(const CommentTable &comments, const QString &dir,
                        const RetryQuestion &retry)
{
    for (;;) {
        const QString error = comments.SaveComments(dir);
        if (error.isEmpty())
            return true;
        if (!retry(error))
            return false;
    }
}

} // namespace keelwatch
