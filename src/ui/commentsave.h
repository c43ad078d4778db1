#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace keelwatch {

class CommentTable;

// Asked after a failed save with the error text; true to try again.
using RetryQuestion = std::function<bool(const QString &error)>;

// Where comment.txt is read at start and written from then on.
struct CommentFolders
{
    QString readDir;
    QString saveDir;
};

// Beside the program while comment.txt can be written there: the folder takes
// new files, or the file there takes writes (existing setups keep their
// file). Otherwise, as for a program installed in /usr/bin and started by a
// user, userDir, created here; it starts from the read-only file beside the
// program while the user has no comment.txt of their own.
CommentFolders ChooseCommentFolders(const QString &programDir, const QString &userDir);

// The user's own folder for comment.txt: Quillstone/keelwatch in the user's
// data folder ($XDG_DATA_HOME, ~/.local/share).
QString UserCommentFolder();

// A message box with "Retry" and "Close" over parent.
RetryQuestion RetryBox(QWidget *parent);

// Writes comment.txt at exit. A failure would lose every comment of the run,
// so the user may retry (after freeing space or fixing rights) as often as
// needed. Returns whether the file was written.
bool SaveCommentsAtExit(const CommentTable &comments, const QString &dir,
                        const RetryQuestion &retry);

} // namespace keelwatch
