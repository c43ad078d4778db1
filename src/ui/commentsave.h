#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace keelwatch {

class CommentTable;

// Asked after a failed save with the error text; true to try again.
using RetryQuestion = std::function<bool(const QString &error)>;

// A message box with "Retry" and "Close" over parent.
RetryQuestion RetryBox(QWidget *parent);

// Writes comment.txt at exit. A failure would lose every comment of the run,
// so the user may retry (after freeing space or fixing rights) as often as
// needed. Returns whether the file was written.
bool SaveCommentsAtExit(const CommentTable &comments, const QString &dir,
                        const RetryQuestion &retry);

} // namespace keelwatch
