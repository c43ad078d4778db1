#include "ui/commenteditor.h"

#include "report/commenttable.h"
#include "ui/messagebox.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

using namespace Qt::StringLiterals;

namespace keelwatch {

CommentEditor::CommentEditor(CommentTable &comments, NodeList &nodes, QWidget *parent)
    : QDialog(parent), comments(comments), nodes(nodes), messages(MessageBoxSink(this))
{
    setObjectName(u"TForm9"_s);
    setWindowTitle(tr("Comment"));
    setModal(false);

    ipField = new QLineEdit(this);
    commentField = new QLineEdit(this);
    auto *readButton = new QPushButton(tr("Read"), this);
    auto *writeButton = new QPushButton(tr("Write"), this);
    auto *closeButton = new QPushButton(tr("Close"), this);
    ipField->setObjectName(u"Edit1"_s);
    commentField->setObjectName(u"Edit2"_s);
    readButton->setObjectName(u"Button1"_s);
    writeButton->setObjectName(u"Button2"_s);
    closeButton->setObjectName(u"Button3"_s);
    for (QPushButton *b : {readButton, writeButton, closeButton})
        b->setAutoDefault(false);

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("IP Address"), this), 0, 0);
    layout->addWidget(ipField, 0, 1);
    layout->addWidget(readButton, 0, 2);
    layout->addWidget(writeButton, 0, 3);
    layout->addWidget(closeButton, 0, 4);
    layout->addWidget(new QLabel(tr("Comment"), this), 1, 0);
    layout->addWidget(commentField, 1, 1, 1, 4);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ipField->setMinimumWidth(ipField->fontMetrics().horizontalAdvance(u"255.255.255.255"_s) + 12);

    connect(readButton, &QPushButton::clicked, this, &CommentEditor::ReadComment);
    connect(writeButton, &QPushButton::clicked, this, &CommentEditor::WriteComment);
    // Enter acts on the field it is pressed in: the IP reads, the comment
    // writes.
    connect(ipField, &QLineEdit::returnPressed, this, &CommentEditor::ReadComment);
    connect(commentField, &QLineEdit::returnPressed, this, &CommentEditor::WriteComment);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
}

void CommentEditor::OpenFor(const QString &ip)
{
    ipField->setText(ip);
    commentField->clear();
    if (parentWidget() && !isVisible())
        move(parentWidget()->geometry().center() - rect().center());
    show();
    raise();
    activateWindow();
    // Opened for a node, what is left to type is its comment.
    (ip.isEmpty() ? ipField : commentField)->setFocus();
}

QString CommentEditor::CheckedIp()
{
    ipField->setText(ValidIpText(ipField->text()));
    return ipField->text();
}

void CommentEditor::ReadComment()
{
    if (const QString ip = CheckedIp(); !ip.isEmpty())
        commentField->setText(comments.LookupComment(ip));
}

void CommentEditor::WriteComment()
{
    const QString ip = CheckedIp();
    if (!ip.isEmpty() && StoreComment(comments, nodes, ip, commentField->text(), messages))
        Q_EMIT commentStored();
}

void CommentEditor::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ReadComment();
}

} // namespace keelwatch
