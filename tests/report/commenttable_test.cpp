#include "report/commenttable.h"

#include "core/nodelist.h"

#include "filehelpers.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// Nodes that hold only an IP, in this order.
QList<Node> NodesWithIps(const QStringList &ips)
{
    QList<Node> nodes;
    for (const QString &ip : ips) {
        Node node;
        node.ip = *IpAddress::FromText(ip);
        nodes.append(node);
    }
    return nodes;
}

QByteArray NumberedLines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "10." + QByteArray::number(i / 65536) + '.' + QByteArray::number(i / 256 % 256) +
                '.' + QByteArray::number(i % 256) + ",note " + QByteArray::number(i) + "\r\n";
    return text;
}

TEST(CommentTable, BlanksAroundTheFirstCommaAreTrimmedAndNotWrittenBack)
{
    CommentTable t;
    EXPECT_TRUE(t.ReadCommentText("192.168.0.5 , hello, world\r\n"));
    EXPECT_EQ(t.Entries(), (QList<CommentEntry>{{u"192.168.0.5"_s, u"hello, world"_s}}));
    EXPECT_EQ(t.LookupComment(u" 192.168.0.5 "_s), u"hello, world"_s);
    EXPECT_EQ(t.CommentText(), "192.168.0.5,hello, world\r\n");
}

TEST(CommentTable, ByteOrderMarksAroundAKeyAreTrimmed)
{
    // Files put together from several others, each with its mark.
    CommentTable t;
    EXPECT_TRUE(t.ReadCommentText("\xEF\xBB\xBF"
                                  "10.0.0.1,a\r\n\xEF\xBB\xBF 10.0.0.2 ,b\r\n"));
    EXPECT_EQ(t.LookupComment(u"10.0.0.2"_s), u"b"_s);
    EXPECT_EQ(t.CommentText(), "10.0.0.1,a\r\n10.0.0.2,b\r\n");
}

TEST(CommentTable, LinesWithoutCommaAreSkippedAndLeadingCommaGivesEmptyKey)
{
    CommentTable t;
    EXPECT_TRUE(t.ReadCommentText("no comma here\n,orphan\r\n\t10.0.0.1,\t\r10.0.0.2,b"));
    EXPECT_EQ(t.Entries(),
              (QList<CommentEntry>{
                  {QString(), u"orphan"_s}, {u"10.0.0.1"_s, QString()}, {u"10.0.0.2"_s, u"b"_s}}));
}

TEST(CommentTable, SameKeyTwiceShowsTheSecondAndWritingChangesBoth)
{
    CommentTable t;
    t.ReadCommentText("10.0.0.1,first\r\n10.0.0.2,other\r\n10.0.0.1,second\r\n");
    EXPECT_EQ(t.LookupComment(u"10.0.0.1"_s), u"second"_s);
    EXPECT_TRUE(t.SetComment(u"10.0.0.1"_s, u" both "_s));
    EXPECT_EQ(t.CommentText(), "10.0.0.1, both \r\n10.0.0.2,other\r\n10.0.0.1, both \r\n");
    EXPECT_EQ(t.LookupComment(u"10.0.0.9"_s), QString());
}

TEST(CommentTable, AnAddressFindsWhatItsTextFinds)
{
    // Keys with leading zeros or blanks inside are not an address's text:
    // neither lookup finds them for that address.
    CommentTable t;
    t.ReadCommentText("10.0.0.1,first\r\n010.0.0.2,zeros\r\n10.0.0.1,second\r\n10.0.0.300,bad\r\n");
    for (const QString &text : {u"10.0.0.1"_s, u"10.0.0.2"_s, u"10.0.0.3"_s}) {
        const IpAddress ip = *IpAddress::FromText(text);
        EXPECT_EQ(t.LookupComment(ip), t.LookupComment(text)) << text.toStdString();
    }
    EXPECT_EQ(t.LookupComment(*IpAddress::FromText(u"10.0.0.1"_s)), u"second"_s);
    EXPECT_TRUE(t.SetComment(u"10.0.0.3"_s, u"new"_s));
    EXPECT_TRUE(t.SetComment(u"10.0.0.1"_s, u"edited"_s));
    EXPECT_EQ(t.LookupComment(*IpAddress::FromText(u"10.0.0.3"_s)), u"new"_s);
    EXPECT_EQ(t.LookupComment(*IpAddress::FromText(u"10.0.0.1"_s)), u"edited"_s);
    t.ReadCommentText("10.0.0.4,only\r\n");
    EXPECT_EQ(t.LookupComment(*IpAddress::FromText(u"10.0.0.1"_s)), QString());
}

TEST(CommentTable, LookupComparesUpperCaseKeys)
{
    CommentTable t;
    t.ReadCommentText("host-a,lower\r\nHOST-A,upper\r\n");
    // The text is upper-cased, the keys are not: a lower-case key never matches.
    t.SetComment(u"HOST-A"_s, u"changed"_s);
    EXPECT_EQ(t.LookupComment(u"host-a"_s), u"changed"_s);
    EXPECT_EQ(t.Entries()[0].comment, u"lower"_s);
}

TEST(CommentTable, MissingAndEmptyFiles)
{
    QTemporaryDir dir;
    MessageRecorder r;
    CommentTable t;
    t.ReadCommentText("10.0.0.1,x\r\n");
    t.LoadComments(dir.path(), r.Sink());
    EXPECT_EQ(r.messages, QStringList{u"No comment.txt not found"_s});
    EXPECT_TRUE(t.Entries().isEmpty());

    WriteFile(dir.filePath(u"comment.txt"_s), QByteArray());
    r.messages.clear();
    t.LoadComments(dir.path(), r.Sink());
    EXPECT_TRUE(r.messages.isEmpty());
    EXPECT_TRUE(t.Entries().isEmpty());
}

TEST(CommentTable, ExactlyTenThousandCommentsAreReportedAsTooMany)
{
    QTemporaryDir dir;
    WriteFile(dir.filePath(u"comment.txt"_s), "title line\r\n" + NumberedLines(10000));
    MessageRecorder r;
    CommentTable t;
    t.LoadComments(dir.path(), r.Sink());
    EXPECT_EQ(r.messages, QStringList{u"More then 10000 comments"_s});
    EXPECT_EQ(t.Entries().size(), 10000);
}

TEST(CommentTable, LinesBeyondTheTableAreWrittenBackAtExit)
{
    QTemporaryDir dir;
    const QByteArray original = NumberedLines(10003) + "last line without comma";
    WriteFile(dir.filePath(u"comment.txt"_s), original);
    MessageRecorder r;
    CommentTable t;
    t.LoadComments(dir.path(), r.Sink());
    EXPECT_EQ(r.messages, QStringList{u"More then 10000 comments"_s});
    EXPECT_EQ(t.Entries().size(), 10000);
    EXPECT_EQ(t.LookupComment(u"10.0.39.18"_s), QString()); // entry 10002: not loaded
    EXPECT_EQ(t.LookupComment(u"10.0.39.15"_s), u"note 9999"_s);

    EXPECT_TRUE(t.SetComment(u"10.0.0.0"_s, u"edited"_s));
    EXPECT_EQ(t.SaveComments(dir.path()), QString());
    QByteArray expected = original;
    expected.replace("10.0.0.0,note 0\r\n", "10.0.0.0,edited\r\n");
    EXPECT_EQ(ReadFile(dir.filePath(u"comment.txt"_s)), expected);
}

TEST(CommentTable, FullTableRefusesANewIpButUpdatesKnownOnes)
{
    CommentTable comments;
    comments.ReadCommentText(NumberedLines(10000));
    NodeList nodes;
    nodes.Replace(NodesWithIps({u"10.0.0.7"_s, u"10.9.9.9"_s}));
    MessageRecorder r;
    EXPECT_FALSE(StoreComment(comments, nodes, u"10.9.9.9"_s, u"new"_s, r.Sink()));
    EXPECT_EQ(r.messages, QStringList{CommentTableFullText()});
    EXPECT_TRUE(r.messages[0].contains(u"10000"_s));
    EXPECT_EQ(nodes.At(1).comment, QString());
    EXPECT_EQ(comments.Entries().size(), 10000);

    r.messages.clear();
    EXPECT_TRUE(StoreComment(comments, nodes, u"10.0.0.7"_s, u"known"_s, r.Sink()));
    EXPECT_TRUE(r.messages.isEmpty());
    EXPECT_EQ(nodes.At(0).comment, u"known"_s);
}

TEST(CommentTable, StoringReachesEveryNodeOfThatIp)
{
    CommentTable comments;
    NodeList nodes;
    nodes.Replace(NodesWithIps({u"10.0.0.1"_s, u"10.0.0.2"_s, u"10.0.0.1"_s}));
    MessageRecorder r;
    EXPECT_TRUE(StoreComment(comments, nodes, u"10.0.0.1"_s, QString(), r.Sink()));
    EXPECT_TRUE(StoreComment(comments, nodes, u"10.0.0.1"_s, u"router"_s, r.Sink()));
    EXPECT_EQ(nodes.At(0).comment, u"router"_s);
    EXPECT_EQ(nodes.At(1).comment, QString());
    EXPECT_EQ(nodes.At(2).comment, u"router"_s);
    EXPECT_EQ(comments.CommentText(), "10.0.0.1,router\r\n");
    // A comment for an IP no node holds yet is kept for when the node answers.
    EXPECT_TRUE(StoreComment(comments, nodes, u"10.0.0.3"_s, u"later"_s, r.Sink()));
    EXPECT_EQ(comments.LookupComment(u"10.0.0.3"_s), u"later"_s);
}

TEST(CommentTable, FailedSaveIsReportedAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    CommentTable t;
    t.ReadCommentText("10.0.0.1,kept\r\n");
    const QString error = t.SaveComments(dir.filePath(u"missing/folder"_s));
    EXPECT_TRUE(error.startsWith(u"Cannot write comment.txt."_s)) << error.toStdString();

    // A comment.txt that is a folder cannot be replaced; it stays as it was.
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"comment.txt"_s));
    EXPECT_FALSE(t.SaveComments(dir.path()).isEmpty());
    EXPECT_TRUE(QFileInfo(dir.filePath(u"comment.txt"_s)).isDir());
}

} // namespace

TEST(CommentTable, LegacyEncodedLinesAreWrittenBackByteForByte)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"comment.txt"_s);
    // CP1252, Shift-JIS ("テスト") and UTF-8 lines in one file, as several
    // editors over the years leave it.
    const QByteArray original = "10.0.0.1,caf\xE9 \x80\r\n"
                                "10.0.0.2,\x83\x65\x83\x58\x83\x67\r\n"
                                "10.0.0.3,caf\xC3\xA9\r\n"
                                "10.0.0.4,na\xEFve\r\n";
    WriteFile(path, original);
    MessageRecorder r;
    CommentTable t;
    t.LoadComments(dir.path(), r.Sink());
    EXPECT_EQ(t.LookupComment(u"10.0.0.1"_s), u"café €"_s);
    EXPECT_EQ(t.LookupComment(u"10.0.0.3"_s), u"café"_s);
    EXPECT_EQ(t.SaveComments(dir.path()), QString());
    EXPECT_EQ(ReadFile(path), original);

    // An edited comment is the user's new text, written as UTF-8.
    EXPECT_TRUE(t.SetComment(u"10.0.0.4"_s, u"naïve"_s));
    EXPECT_EQ(t.SaveComments(dir.path()), QString());
    QByteArray expected = original;
    expected.replace("na\xEFve", "na\xC3\xAFve");
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(CommentTable, LegacyLineThatWouldReadAsAByteOrderMarkIsWrittenAsText)
{
    // Its bytes at the start of comment.txt would be read as UTF-16 next time.
    CommentTable t;
    EXPECT_TRUE(t.ReadCommentText("\x01\xFE\xFF"
                                  "10.0.0.1,caf\xE9\r\n"));
    const QByteArray saved = t.CommentText();
    EXPECT_EQ(saved, "\xC3\xBE\xC3\xBF"
                     "10.0.0.1,caf\xC3\xA9\r\n");
    CommentTable reread;
    reread.ReadCommentText(saved);
    EXPECT_EQ(reread.CommentText(), saved);
}

TEST(CommentTable, Utf16FileIsReadAsText)
{
    CommentTable t;
    const QString text = u"10.0.0.1,größe\r\n10.0.0.2,b\r\n"_s;
    QByteArray content("\xFF\xFE");
    content.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    EXPECT_TRUE(t.ReadCommentText(content));
    EXPECT_EQ(t.Entries(),
              (QList<CommentEntry>{{u"10.0.0.1"_s, u"größe"_s, {}}, {u"10.0.0.2"_s, u"b"_s, {}}}));
}

class PastedLineBreak : public ::testing::TestWithParam<QString>
{
};

TEST_P(PastedLineBreak, StaysOneLineOfTheFile)
{
    CommentTable comments;
    comments.ReadCommentText("10.0.0.1,router\r\n");
    NodeList nodes;
    nodes.Replace(NodesWithIps({u"10.0.0.2"_s}));
    MessageRecorder r;
    const QString pasted = u"line one"_s + GetParam() + u"10.0.0.1,HIJACKED"_s;
    ASSERT_TRUE(StoreComment(comments, nodes, u"10.0.0.2"_s, pasted, r.Sink()));
    const QString stored = u"line one 10.0.0.1,HIJACKED"_s;
    EXPECT_EQ(nodes.At(0).comment, stored);

    CommentTable reread;
    reread.ReadCommentText(comments.CommentText());
    EXPECT_EQ(reread.LookupComment(u"10.0.0.1"_s), u"router"_s);
    EXPECT_EQ(reread.LookupComment(u"10.0.0.2"_s), stored);
    EXPECT_EQ(reread.Entries().size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Breaks, PastedLineBreak,
                         ::testing::Values(u"\n"_s, u"\r"_s, u"\v"_s, u"\f"_s, u"\u0085"_s,
                                           u"\u2028"_s, u"\u2029"_s));
