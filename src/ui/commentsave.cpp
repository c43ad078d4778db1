#include "ui/commentsave.h"

#include "report/commenttable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QString FileName = u"comment.txt"_s;

// Tried for real rather than judged from permission bits: read-only mounts,
// access lists and root's rights all answer correctly this way.
bool FolderTakesNewFiles(const QString &dir)
{
    QTemporaryFile probe(QDir(dir).filePath(FileName + u".XXXXXX"_s));
    return probe.open();
}

bool FileTakesWrites(const QString &path)
{
    QFile file(path);
    return file.exists() && file.open(QIODevice::WriteOnly | QIODevice::Append);
}

} // namespace

CommentFolders ChooseCommentFolders(const QString &programDir, const QString &userDir)
{
    const QString besideProgram = QDir(programDir).filePath(FileName);
    if (FolderTakesNewFiles(programDir) || FileTakesWrites(besideProgram))
        return {programDir, programDir};
    QDir().mkpath(userDir);
    if (!QFile::exists(QDir(userDir).filePath(FileName)) && QFile::exists(besideProgram))
        return {programDir, userDir};
    return {userDir, userDir};
}

QString UserCommentFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/Quillstone/keelwatch"_s;
}

RetryQuestion RetryBox(QWidget *parent)
{
    return [parent](const QString &error) {
        return QMessageBox::warning(parent, QCoreApplication::applicationName(),
                                    error + u"\n\n"_s +
                                        QCoreApplication::translate(
                                            "keelwatch::CommentSave",
                                            "Closing now loses the comments changed since start."),
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
