#pragma once

#include "config/addresstext.h"

#include <QDialog>

class QLineEdit;

namespace keelwatch {

class CommentTable;
class NodeList;

// The comment editor: reads and writes the comment of one IP address.
class CommentEditor : public QDialog
{
    Q_OBJECT

  public:
    CommentEditor(CommentTable &comments, NodeList &nodes, QWidget *parent = nullptr);

    // Where refusals go; a message box unless replaced.
    void SetMessageSink(MessageSink sink) { messages = std::move(sink); }

    // The pop-up's and View's "Comment Editor": this IP, an empty comment, then
    // the window; the lookup runs when it becomes visible.
    void OpenFor(const QString &ip);

  Q_SIGNALS:
    // Write changed a comment: start-up saves comment.txt at once, so that
    // a killed program keeps it.
    void commentStored();

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    // The IP field through the address check; empty when invalid.
    QString CheckedIp();
    void ReadComment();
    void WriteComment();

    QLineEdit *ipField;
    QLineEdit *commentField;

    CommentTable &comments;
    NodeList &nodes;
    MessageSink messages;
};

} // namespace keelwatch
