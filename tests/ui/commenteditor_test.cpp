#include "ui/commenteditor.h"

#include "core/nodelist.h"
#include "report/commenttable.h"
#include "support/qtprint.h"
#include "ui/commentsave.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class CommentEditorForm : public testing::Test
{
  protected:
    CommentEditorForm() : form(comments, nodes)
    {
        form.SetMessageSink([this](const QString &m) { messages.append(m); });
        comments.ReadCommentText("10.0.0.5,file server\r\n");
        for (const char16_t *ip : {u"10.0.0.5", u"10.0.0.6", u"10.0.0.5"})
            nodes.Add(*IpAddress::FromText(ip), MacAddress(), {});
    }
    QLineEdit *Field(const char16_t *name)
    {
        return form.findChild<QLineEdit *>(QString::fromUtf16(name));
    }
    void Click(const char16_t *name)
    {
        form.findChild<QPushButton *>(QString::fromUtf16(name))->click();
    }

    CommentTable comments;
    NodeList nodes;
    QStringList messages;
    CommentEditor form;
};

TEST_F(CommentEditorForm, ShowingReadsTheComment)
{
    form.OpenFor(u"10.0.0.5"_s);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isModal());
    EXPECT_EQ(form.windowTitle(), u"Comment"_s);
    EXPECT_EQ(Field(u"Edit2")->text(), u"file server"_s);

    // Opened again while visible: new IP, empty comment, no lookup until Read.
    form.OpenFor(u"10.0.0.5"_s);
    EXPECT_EQ(Field(u"Edit2")->text(), QString());
    Click(u"Button1");
    EXPECT_EQ(Field(u"Edit2")->text(), u"file server"_s);

    Click(u"Button3");
    EXPECT_FALSE(form.isVisible());
}

// Opened for a node the comment has the focus, and Enter there writes.
TEST_F(CommentEditorForm, WriteReachesTheTableAndEveryRowOfTheIp)
{
    form.OpenFor(u"10.0.0.5"_s);
    EXPECT_EQ(form.focusWidget(), Field(u"Edit2"));
    Field(u"Edit2")->setText(u" printer room "_s);
    QTest::keyClick(Field(u"Edit2"), Qt::Key_Return);
    EXPECT_EQ(comments.LookupComment(u"10.0.0.5"_s), u" printer room "_s);
    EXPECT_EQ(nodes.At(0).comment, u" printer room "_s);
    EXPECT_EQ(nodes.At(1).comment, QString());
    EXPECT_EQ(nodes.At(2).comment, u" printer room "_s);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(CommentEditorForm, FullTableRefusesANewIp)
{
    QByteArray many;
    for (int i = 0; i < CommentTable::Capacity; ++i)
        many += "k" + QByteArray::number(i) + ",c\r\n";
    comments.ReadCommentText(many);
    form.OpenFor(u"10.0.0.6"_s);
    Field(u"Edit2")->setText(u"new"_s);
    Click(u"Button2");
    EXPECT_EQ(messages, QStringList{CommentTableFullText()});
    EXPECT_EQ(nodes.At(1).comment, QString());
}

TEST(CommentSave, FailedSaveAtExitCanBeRetried)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(u"later"_s);
    CommentTable comments;
    comments.ReadCommentText("10.0.0.5,kept\r\n");
    QStringList asked;
    const bool saved = SaveCommentsAtExit(comments, target, [&](const QString &error) {
        asked.append(error);
        return QDir().mkpath(target); // the user makes room, then retries
    });
    EXPECT_TRUE(saved);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith(u"Cannot write comment.txt."_s));
    EXPECT_TRUE(QFile::exists(target + u"/comment.txt"_s));

    int questions = 0;
    EXPECT_FALSE(SaveCommentsAtExit(comments, dir.filePath(u"never"_s), [&](const QString &) {
        ++questions;
        return false;
    }));
    EXPECT_EQ(questions, 1);
}

} // namespace
