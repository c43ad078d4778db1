#include "report/commenttable.h"
#include "report/nodelistfile.h"
#include "report/textfile.h"

#include "filehelpers.h"
#include "support/qtprint.h"
#include "tinydisk.h"

#include <gtest/gtest.h>

#include <QDir>

#include <QTemporaryDir>
#include <sys/stat.h>

#include <cstdint>
#include <utility>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString NoSpace = u"No space left on device"_s;

QString Ip(int i)
{
    return u"10.%1.%2.%3"_s.arg(i / 65536).arg(i / 256 % 256).arg(i % 256);
}

QStringList FilesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

// 9,000 comments, about 220 KB, on a 64 KiB disk.
TEST(SaveFile, CommentsThatDoNotFitKeepTheOldFileAndSayWhy)
{
    TinyDisk disk(64);
    SKIP_WITHOUT_TINY_DISK(disk);
    const QString path = disk.FilePath(u"comment.txt"_s);
    const QByteArray old = "10.0.0.1,before the full disk\r\n";
    WriteFile(path, old);

    CommentTable comments;
    QByteArray text;
    for (int i = 0; i < 9000; ++i)
        text +=
            Ip(i).toUtf8() + ",a comment of some length, number " + QByteArray::number(i) + "\r\n";
    ASSERT_TRUE(comments.ReadCommentText(text));
    const QString error = comments.SaveComments(disk.Path());
    EXPECT_EQ(error, u"Cannot write comment.txt.\n"_s + NoSpace);
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(FilesIn(disk.Path()), QStringList{u"comment.txt"_s});
}

// 10,000 nodes, about 600 KB.
TEST(SaveFile, NodeListThatDoesNotFitKeepsTheOldFileAndSaysWhy)
{
    TinyDisk disk(64);
    SKIP_WITHOUT_TINY_DISK(disk);
    const QString path = disk.FilePath(u"nodes.csv"_s);
    const QByteArray old = "IP Address,MAC Address\r\n10.0.0.1,00:11:22:33:44:55\r\n";
    WriteFile(path, old);

    NodeList nodes;
    QList<Node> replacement;
    for (int i = 0; i < 10000; ++i) {
        Node node;
        node.ip = IpAddress::FromIpv4(0x0A000000 + std::uint32_t(i));
        node.mac = *MacAddress::FromText(u"00:11:22:33:44:55");
        node.comment = u"a comment"_s;
        node.vendor = u"Some Vendor, Inc"_s;
        replacement.append(node);
    }
    nodes.Replace(std::move(replacement));
    const QString error = WriteNodeList(path, EncodeNodeList(nodes));
    EXPECT_EQ(error, u"Cannot write the node list file %1.\n%2"_s.arg(path, NoSpace));
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(FilesIn(disk.Path()), QStringList{u"nodes.csv"_s});
}

struct InPlaceCase
{
    const char *name;
    QByteArray (*content)(int lines);
};

void PrintTo(const InPlaceCase &c, std::ostream *os)
{
    *os << c.name;
}

QByteArray CommentLines(int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += Ip(i).toUtf8() + ",comment number " + QByteArray::number(i) + "\r\n";
    return text;
}

QByteArray NodeListLines(int lines)
{
    NodeList nodes;
    QList<Node> list;
    for (int i = 0; i < lines; ++i) {
        Node node;
        node.ip = *IpAddress::FromText(Ip(i));
        node.mac = *MacAddress::FromText(u"00:11:22:33:44:55");
        node.comment = u"a comment"_s;
        node.vendor = u"Vendor"_s;
        list.append(node);
    }
    nodes.Replace(std::move(list));
    return EncodeNodeList(nodes);
}

quint64 Inode(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_ino) : 0;
}

class InPlaceRewrite : public ::testing::TestWithParam<InPlaceCase>
{
};

// A file whose folder takes no new file is rewritten where it is: on a full
// disk it stays whole, never cut part-way.
TEST_P(InPlaceRewrite, FullDiskKeepsTheOldFileWhole)
{
    TinyDisk disk(64);
    SKIP_WITHOUT_TINY_DISK(disk);
    const QString path = disk.FilePath(u"file.txt"_s);
    const QByteArray old = GetParam().content(400);
    WriteFile(path, old);
    const quint64 inode = Inode(path);
    ASSERT_TRUE(disk.Fill(u"filler"_s));

    EXPECT_EQ(RewriteInPlace(path, GetParam().content(800)), NoSpace);
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(Inode(path), inode);
}

TEST_P(InPlaceRewrite, WithRoomTheFileKeepsItsInodeAndTakesTheNewText)
{
    TinyDisk disk(256);
    SKIP_WITHOUT_TINY_DISK(disk);
    const QString path = disk.FilePath(u"file.txt"_s);
    WriteFile(path, GetParam().content(400));
    const quint64 inode = Inode(path);
    for (const int lines : {800, 10, 0}) {
        EXPECT_EQ(RewriteInPlace(path, GetParam().content(lines)), QString());
        EXPECT_EQ(ReadFile(path), GetParam().content(lines));
        EXPECT_EQ(Inode(path), inode);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, InPlaceRewrite,
                         ::testing::Values(InPlaceCase{"CommentTxt", CommentLines},
                                           InPlaceCase{"NodeList", NodeListLines}),
                         [](const ::testing::TestParamInfo<InPlaceCase> &info) {
                             return info.param.name;
                         });

TEST(SaveFile, ContentThatFitsReplacesTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"comment.txt"_s);
    WriteFile(path, "old content that is longer than the new one\r\n");
    EXPECT_EQ(ReplaceFile(path, "new\r\n"), QString());
    EXPECT_EQ(ReadFile(path), "new\r\n");
    EXPECT_EQ(ReplaceFile(path, QByteArrayView()), QString());
    EXPECT_EQ(ReadFile(path), QByteArray());
    EXPECT_FALSE(ReplaceFile(dir.filePath(u"missing/comment.txt"_s), "x").isEmpty());
}

struct DecodeCase
{
    const char *name;
    QByteArray content;
    QStringList texts;
    QList<bool> legacy;
};

void PrintTo(const DecodeCase &c, std::ostream *os)
{
    *os << c.name;
}

class DecodeTextLinesTest : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(DecodeTextLinesTest, DecodesEachLine)
{
    const DecodeCase &c = GetParam();
    const QList<DecodedLine> lines = DecodeTextLines(c.content);
    QStringList texts;
    QList<bool> legacy;
    for (const DecodedLine &line : lines) {
        texts.append(line.text);
        legacy.append(line.legacy);
    }
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(legacy, c.legacy);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DecodeTextLinesTest,
    ::testing::Values(
        DecodeCase{"Utf8", "caf\xC3\xA9\r\nplain", {u"café"_s, u"plain"_s}, {false, false}},
        // Only the line that is not UTF-8 is read as CP1252.
        DecodeCase{"Cp1252Line",
                   "caf\xE9 \x80 \x93quoted\x94\ncaf\xC3\xA9",
                   {u"café € “quoted”"_s, u"café"_s},
                   {true, false}},
        // A sequence cut off by the line end, an overlong form and a
        // surrogate are no UTF-8.
        DecodeCase{"CutSequence", "caf\xC3\r\ncaf\xE9", {u"cafÃ"_s, u"café"_s}, {true, true}},
        DecodeCase{"OverlongAndSurrogate",
                   "\xC0\xAF\n\xED\xA0\x80",
                   {u"À¯"_s, u"í\u00A0€"_s},
                   {true, true}},
        DecodeCase{"UndefinedCp1252Bytes",
                   "\x81\x8D\x8F\x90\x9D",
                   {u"\u0081\u008D\u008F\u0090\u009D"_s},
                   {true}},
        DecodeCase{
            "Utf8ByteOrderMark", "\xEF\xBB\xBFone\r\ntwo", {u"one"_s, u"two"_s}, {false, false}},
        DecodeCase{"Utf16LittleEndian",
                   QByteArray("\xFF\xFE"
                              "1\0,\0\xE9\0\r\0\n\0"
                              "2\0",
                              14),
                   {u"1,é"_s, u"2"_s},
                   {false, false}},
        DecodeCase{"Utf16BigEndian",
                   QByteArray("\xFE\xFF\0a\0\n\0b", 8),
                   {u"a"_s, u"b"_s},
                   {false, false}}),
    [](const ::testing::TestParamInfo<DecodeCase> &info) { return info.param.name; });

} // namespace
