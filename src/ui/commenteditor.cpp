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

CommentEditor::CommentEditor(CommentTable &comments, NodeTable &nodes, QWidget *parent)
    : QDialog(parent), comments(comments), nodes(nodes), messages(MessageBoxSink(this))
{
    setObjectName(u"TForm9"_s);
    setWindowTitle(u"Comment"_s);
    setModal(false);

    Edit1 = new QLineEdit(this);
    Edit2 = new QLineEdit(this);
    Button1 = new QPushButton(u"Read"_s, this);
    Button2 = new QPushButton(u"Write"_s, this);
    Button3 = new QPushButton(u"Close"_s, this);
    Edit1->setObjectName(u"Edit1"_s);
    Edit2->setObjectName(u"Edit2"_s);
    Button1->setObjectName(u"Button1"_s);
    Button2->setObjectName(u"Button2"_s);
    Button3->setObjectName(u"Button3"_s);
    for (QPushButton *b : {Button1, Button2, Button3})
        b->setAutoDefault(false);

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(u"IP Address"_s, this), 0, 0);
    layout->addWidget(Edit1, 0, 1);
    layout->addWidget(Button1, 0, 2);
    layout->addWidget(Button2, 0, 3);
    layout->addWidget(Button3, 0, 4);
    layout->addWidget(new QLabel(u"Comment"_s, this), 1, 0);
    layout->addWidget(Edit2, 1, 1, 1, 4);
    setFixedSize(438, 89);

    connect(Button1, &QPushButton::clicked, this, &CommentEditor::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &CommentEditor::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &QWidget::hide);
}

void CommentEditor::OpenFor(const QString &ip)
{
    Edit1->setText(ip);
    Edit2->clear();
    if (parentWidget() && !isVisible())
        move(parentWidget()->geometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

QString CommentEditor::CheckedIp()
{
    Edit1->setText(ValidIpText(Edit1->text()));
    return Edit1->text();
}

void CommentEditor::Button1Click()
{
    if (const QString ip = CheckedIp(); !ip.isEmpty())
        Edit2->setText(comments.LookupComment(ip));
}

void CommentEditor::Button2Click()
{
    if (const QString ip = CheckedIp(); !ip.isEmpty())
        StoreComment(comments, nodes, ip, Edit2->text(), messages);
}

void CommentEditor::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Button1Click();
}

} // namespace keelwatch
