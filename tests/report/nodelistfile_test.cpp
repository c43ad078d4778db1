#include "report/nodelistfile.h"

#include "filehelpers.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

using Row = NodeTable::Row;

const QByteArray Title = "\"IP Address\",\"MAC Address\",Br,B47,B16,B8,Gr,M0,M1,M3,S1,S2,Comment,"
                         "\"Vender Code\"\r\n";
const QByteArray EmptyLine = ",,,,,,,,,,,,,\r\n";

TEST(NodeListFile, EmptyTableGivesTitleAndALineOfCommas)
{
    NodeTable t;
    EXPECT_EQ(EncodeNodeList(t), Title + EmptyLine);
}

TEST(NodeListFile, CellsAreQuotedOnlyWhenNeeded)
{
    Row row{u"192.168.0.5"_s, u"00:11:22:33:44:55"_s, u"O"_s, u"X"_s, u"+X"_s};
    row[12] = u"say \"hi\""_s;
    row[13] = u"a,b"_s;
    row[11] = u"\t"_s;
    EXPECT_EQ(EncodeNodeListLine(row),
              u"192.168.0.5,00:11:22:33:44:55,O,X,+X,,,,,,,\"\t\",\"say \"\"hi\"\"\",\"a,b\""_s);
}

struct DecodeCase
{
    const char *name;
    const char16_t *line;
    std::vector<const char16_t *> cells;
};

class DecodeLine : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(DecodeLine, FillsCellsFromColumnZero)
{
    Row expected;
    for (size_t i = 0; i < GetParam().cells.size(); ++i)
        expected[i] = QString::fromUtf16(GetParam().cells[i]);
    EXPECT_EQ(DecodeNodeListLine(QStringView(GetParam().line)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    NodeListFile, DecodeLine,
    testing::Values(
        // Empty fields hold one blank; a trailing comma adds one more.
        DecodeCase{"EmptyFields", u"1.2.3.4,,x,", {u"1.2.3.4", u" ", u"x", u" "}},
        // Quotes group blanks and commas; a doubled quote stands for one.
        DecodeCase{"Quotes", u"\"a, b\",\"say \"\"hi\"\"\"", {u"a, b", u"say \"hi\""}},
        // Blanks inside a comma-separated field belong to it, as other
        // tools write them; those around it do not.
        DecodeCase{"BlanksInsideAField", u"  a b ,  c", {u"a b", u"c"}},
        DecodeCase{"TextAfterAClosingQuote", u"\"a\" b,c", {u"a b", u"c"}},
        // A line without a comma is split at blanks, as hand-made lists are.
        DecodeCase{"BlankSeparated", u"  a b\t c", {u"a", u"b", u"c"}},
        // A missing closing quote takes the rest of the line.
        DecodeCase{"OpenQuote", u"a,\"rest, of it", {u"a", u"rest, of it"}},
        // Fields past the fourteenth are ignored.
        DecodeCase{"TooMany",
                   u"0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15",
                   {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10", u"11", u"12",
                    u"13"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(NodeListFile, SaveThenLoadKeepsNodeDataAndClearsMarks)
{
    NodeTable t;
    t.ReplaceNodes({Row{u"192.168.0.5"_s,
                        u"00:11:22:33:44:55"_s,
                        u"O"_s,
                        u"X"_s,
                        u"+"_s,
                        u"-"_s,
                        {},
                        {},
                        {},
                        {},
                        {},
                        {},
                        u"file server"_s,
                        u"Cisco Systems, Inc"_s},
                    Row{u"192.168.0.6"_s, u"00:0C:29:AA:BB:CC"_s}});
    QTemporaryDir dir;
    const QString path = dir.filePath(u"nodes.csv"_s);
    ASSERT_EQ(WriteNodeList(path, EncodeNodeList(t)), QString());
    EXPECT_EQ(ReadFile(path), Title +
                                  "192.168.0.5,00:11:22:33:44:55,O,X,+,-,,,,,,,\"file server\","
                                  "\"Cisco Systems, Inc\"\r\n"
                                  "192.168.0.6,00:0C:29:AA:BB:CC,,,,,,,,,,,,\r\n" +
                                  EmptyLine);

    NodeTable loaded;
    ASSERT_EQ(LoadNodeList(path, loaded), QString());
    ASSERT_EQ(loaded.RowCount(), 4);
    EXPECT_EQ(loaded.RowCells(1), (Row{u"192.168.0.5"_s,
                                       u"00:11:22:33:44:55"_s,
                                       {},
                                       {},
                                       {},
                                       {},
                                       {},
                                       {},
                                       {},
                                       {},
                                       {},
                                       {},
                                       u"file server"_s,
                                       u"Cisco Systems, Inc"_s}));
    // Empty comment and vendor cells come back as a single blank.
    EXPECT_EQ(loaded.Cell(2, 12), u" "_s);
    EXPECT_EQ(loaded.Cell(2, 13), u" "_s);
    EXPECT_EQ(loaded.Cell(0, 2), u"Br"_s);
    EXPECT_EQ(loaded.RowCells(3), Row{});

    ASSERT_EQ(WriteNodeList(path, EncodeNodeList(loaded)), QString());
    EXPECT_TRUE(ReadFile(path).contains("192.168.0.6,00:0C:29:AA:BB:CC,,,,,,,,,,,\" \",\" \"\r\n"));
}

TEST(NodeListFile, LinesWithInvalidIpOrMacAreDropped)
{
    const QByteArray file = Title + "192.168.0.2,00:11:22:33:44:02,O\r\n"
                                    "192.168.0.3 00 11 22 33 44 03 O\r\n" // blanks split the MAC
                                    "192.168.0.256,00:11:22:33:44:04\r\n"
                                    "\"192.168.0.5\",\"00-11-22-33-44-05\",,,,,,,,,,,c,v,extra\n"
                                    "192.168.0.6,zz:11:22:33:44:06\r"
                                    "192.168.0.7,00:11:22:33:44:07";
    const QList<Row> rows = DecodeNodeList(file);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0][0], u"192.168.0.2"_s);
    EXPECT_EQ(rows[0][2], QString());
    // Kept cells are not rewritten by the checks.
    EXPECT_EQ(rows[1][1], u"00-11-22-33-44-05"_s);
    EXPECT_EQ(rows[1][12], u"c"_s);
    EXPECT_EQ(rows[1][13], u"v"_s);
    EXPECT_EQ(rows[2][0], u"192.168.0.7"_s);
}

// Spreadsheets quote a cell that holds a line end, and leave blanks inside
// a field unquoted.
TEST(NodeListFile, QuotedFieldsMaySpanLinesAndUnquotedOnesHoldBlanks)
{
    const QByteArray file = Title +
                            "192.168.0.2,00 11 22 33 44 02,,,,,,,,,,,node one,Some Vendor\r\n"
                            "192.168.0.3,00:11:22:33:44:03,,,,,,,,,,,\"first line\r\n"
                            "second, \"\"quoted\"\"\",v\r\n"
                            "192.168.0.4,00:11:22:33:44:04,,,,,,,,,,,\"never closed\r\n"
                            "192.168.0.5,00:11:22:33:44:05\r\n";
    const QList<Row> rows = DecodeNodeList(file);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0][1], u"00 11 22 33 44 02"_s);
    EXPECT_EQ(rows[0][12], u"node one"_s);
    EXPECT_EQ(rows[0][13], u"Some Vendor"_s);
    EXPECT_EQ(rows[1][12], u"first line\r\nsecond, \"quoted\""_s);
    EXPECT_EQ(rows[1][13], u"v"_s);
    // A quote no later line closes ends at its own line.
    EXPECT_EQ(rows[2][12], u"never closed"_s);
    EXPECT_EQ(rows[3][0], u"192.168.0.5"_s);
}

TEST(NodeListFile, FileWithoutTheTitleLineKeepsItsFirstNode)
{
    const QList<Row> rows =
        DecodeNodeList("192.168.0.1,00:11:22:33:44:01\r\n192.168.0.2,00:11:22:33:44:02\r\n");
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][0], u"192.168.0.1"_s);
    EXPECT_TRUE(IsNodeListTitle(QString::fromUtf8(Title.chopped(2))));
    EXPECT_FALSE(IsNodeListTitle(u"192.168.0.1,00:11:22:33:44:01"_s));
}

// Lists written by Windows tools: a code-page comment keeps its letters
// instead of becoming replacement characters, and a UTF-16 file is read as such.
TEST(NodeListFile, LegacyAndUtf16ListsKeepTheirText)
{
    const QList<Row> legacy =
        DecodeNodeList(QByteArray(Title + "192.168.0.1,00:11:22:33:44:01,,,,,,,,,,,"
                                          "\"Caf\xe9 \x80\",v\r\n"));
    ASSERT_EQ(legacy.size(), 1);
    EXPECT_EQ(legacy[0][12], u"Caf\u00e9 \u20ac"_s);

    const QString text = QString::fromUtf8(Title) + u"192.168.0.2,00:11:22:33:44:02,,,,,,,,,,,"
                                                    u"\u00fcber,v\r\n"_s;
    QByteArray utf16("\xff\xfe", 2);
    utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    const QList<Row> wide = DecodeNodeList(utf16);
    ASSERT_EQ(wide.size(), 1);
    EXPECT_EQ(wide[0][0], u"192.168.0.2"_s);
    EXPECT_EQ(wide[0][12], u"\u00fcber"_s);
}

// Files that are not node lists: the table stays as it was and the user is
// told why.
class NotANodeList : public testing::TestWithParam<QByteArray>
{
};

TEST_P(NotANodeList, LeavesTheTableAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"n.csv"_s);
    WriteFile(path, GetParam());
    NodeTable t;
    t.ReplaceNodes({Row{u"10.0.0.1"_s, u"00:11:22:33:44:55"_s, u"X"_s}});
    const QString error = LoadNodeList(path, t);
    EXPECT_TRUE(error.contains(u"is not a node list"_s)) << error.toStdString();
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    ASSERT_EQ(t.RowCount(), 3);
    EXPECT_EQ(t.Cell(1, 0), u"10.0.0.1"_s);
    EXPECT_EQ(t.Cell(1, 2), u"X"_s);
}

INSTANTIATE_TEST_SUITE_P(
    NodeListFile, NotANodeList,
    testing::Values(QByteArray(), QByteArray("ip;mac\r\n10.0.0.9;00:11:22:33:44:99\r\n"),
                    QByteArray("\r\n### START Keelwatch\t001F\t05/Jan/2004 14:00:00\t"
                               "10.0.0.1-10.0.0.9 ###\r\n05/Jan/2004 14:00:00\t10.0.0.5\t"
                               "[00:11:22:33:44:55]\tB47\tON\tethernet\r\n"),
                    QByteArray("\x8f\x01\xff\xfe,\x00\x10\x7f", 9)));

// A saved empty table is a node list all the same.
TEST(NodeListFile, TitleOnlyFileEmptiesTheTable)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"n.csv"_s);
    WriteFile(path, Title + EmptyLine);
    NodeTable t;
    t.ReplaceNodes({Row{u"10.0.0.1"_s, u"00:11:22:33:44:55"_s}});
    ASSERT_EQ(LoadNodeList(path, t), QString());
    EXPECT_EQ(t.RowCount(), 2);
    EXPECT_EQ(t.FindNodeRow(u"10.0.0.1"_s), 0);
}

// A /16's worth of nodes, one IP twice, loaded over a table that held
// others: every node is found at its row, the later of the two wins.
TEST(NodeListFile, LoadedNodesAreFoundAtSixtyFiveThousand)
{
    constexpr int Nodes = 65536;
    const auto ip = [](int i) { return u"10.1.%1.%2"_s.arg(i >> 8).arg(i & 0xFF); };
    QByteArray file = Title;
    for (int i = 0; i < Nodes; ++i)
        file += ip(i).toLatin1() + ",02:00:00:00:00:01,X\r\n";
    file += ip(5).toLatin1() + ",02:00:00:00:00:02\r\n" + EmptyLine;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"n.csv"_s);
    WriteFile(path, file);
    NodeTable t;
    t.ReplaceNodes({Row{ip(Nodes - 1), u"02:00:00:00:00:09"_s}, Row{u"10.2.0.1"_s}});
    ASSERT_EQ(LoadNodeList(path, t), QString());
    ASSERT_EQ(t.RowCount(), Nodes + 3);
    for (int i = 0; i < Nodes; ++i) {
        const int row = i == 5 ? Nodes + 1 : i + 1;
        ASSERT_EQ(t.FindNodeRow(ip(i)), row) << i;
        ASSERT_EQ(t.CountNodeRows(ip(i)), i == 5 ? 2 : 1) << i;
    }
    EXPECT_EQ(t.FindNodeRow(u"10.2.0.1"_s), 0);
    EXPECT_EQ(t.Cell(Nodes + 1, 1), u"02:00:00:00:00:02"_s);
    EXPECT_EQ(t.Cell(1, 2), QString());
}

TEST(NodeListFile, TitleOnlyOrEmptyFilesGiveAnEmptyTable)
{
    EXPECT_TRUE(DecodeNodeList(Title).isEmpty());
    EXPECT_TRUE(DecodeNodeList(QByteArray()).isEmpty());
    EXPECT_EQ(DecodeNodeList(QByteArray(Title + "10.0.0.1,00:11:22:33:44:55\r\n" + EmptyLine)),
              DecodeNodeList(QByteArray(Title + "10.0.0.1,00:11:22:33:44:55")));
}

TEST(NodeListFile, UnreadableFileLeavesTheTableAsItWas)
{
    NodeTable t;
    t.ReplaceNodes({Row{u"10.0.0.1"_s, u"00:11:22:33:44:55"_s, u"X"_s}});
    QTemporaryDir dir;
    const QString error = LoadNodeList(dir.filePath(u"absent.csv"_s), t);
    EXPECT_TRUE(error.startsWith(u"Cannot read the node list file"_s)) << error.toStdString();
    EXPECT_EQ(t.RowCount(), 3);
    EXPECT_EQ(t.Cell(1, 2), u"X"_s);

    EXPECT_FALSE(WriteNodeList(dir.filePath(u"no/such/folder.csv"_s), EncodeNodeList(t)).isEmpty());
}

TEST(NodeListFile, LoadReplacesEveryRow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"n.csv"_s);
    WriteFile(path, Title + "10.0.0.9,00:11:22:33:44:99,X\r\n");
    NodeTable t;
    t.ReplaceNodes({Row{u"10.0.0.1"_s, u"00:11:22:33:44:55"_s}, Row{u"10.0.0.2"_s}});
    ASSERT_EQ(LoadNodeList(path, t), QString());
    EXPECT_EQ(t.RowCount(), 3);
    EXPECT_EQ(t.Cell(1, 0), u"10.0.0.9"_s);
    EXPECT_EQ(t.Cell(1, 2), QString());
}

} // namespace
