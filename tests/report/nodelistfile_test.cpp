#include "report/nodelistfile.h"

#include "filehelpers.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QByteArray Title = "\"IP Address\",\"MAC Address\",Br,B47,B16,B8,Gr,M0,M1,M3,S1,S2,Comment,"
                         "\"Vender Code\"\r\n";
const QByteArray EmptyLine = ",,,,,,,,,,,,,\r\n";

Node NodeAt(const QString &ip, const QString &mac)
{
    Node node;
    node.ip = *IpAddress::FromText(ip);
    node.mac = *MacAddress::FromText(mac);
    return node;
}

// A node answered Br ("X" in its column), as a scan leaves it.
Node MarkedNode(const QString &ip, const QString &mac)
{
    Node node = NodeAt(ip, mac);
    node.MarkOf(BroadcastColumn) = Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2);
    return node;
}

QList<NodeCells> CellsOf(const QList<Node> &nodes)
{
    QList<NodeCells> cells;
    for (const Node &node : nodes)
        cells.append(NodeCellTexts(node));
    return cells;
}

TEST(NodeListFile, EmptyTableGivesTitleAndALineOfCommas)
{
    NodeList nodes;
    EXPECT_EQ(EncodeNodeList(nodes), Title + EmptyLine);
}

TEST(NodeListFile, CellsAreQuotedOnlyWhenNeeded)
{
    NodeCells row{u"192.168.0.5"_s, u"00:11:22:33:44:55"_s, u"O"_s, u"X"_s, u"+X"_s};
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
    NodeCells expected;
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

TEST(NodeListFile, SaveThenLoadKeepsEveryCell)
{
    Node server = NodeAt(u"192.168.0.5"_s, u"00:11:22:33:44:55"_s);
    server.MarkOf(2) = Mark::Answered(Answer::Normal, FrameFormat::Ethernet2);
    server.MarkOf(3) = Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2);
    server.MarkOf(4).carried = true;
    server.MarkOf(5) = Mark::Off();
    server.comment = u"file server"_s;
    server.vendor = u"Cisco Systems, Inc"_s;
    // Seen times belong to reports; the node list file has no column for them.
    server.firstSeen = 1796724000000;
    server.lastSeen = 1796724330000;
    NodeList nodes;
    nodes.Replace({server, NodeAt(u"192.168.0.6"_s, u"00:0C:29:AA:BB:CC"_s)});
    QTemporaryDir dir;
    const QString path = dir.filePath(u"nodes.csv"_s);
    ASSERT_EQ(WriteNodeList(path, EncodeNodeList(nodes)), QString());
    EXPECT_EQ(ReadFile(path), Title +
                                  "192.168.0.5,00:11:22:33:44:55,O,X,+,-,,,,,,,\"file server\","
                                  "\"Cisco Systems, Inc\"\r\n"
                                  "192.168.0.6,00:0C:29:AA:BB:CC,,,,,,,,,,,,\r\n" +
                                  EmptyLine);

    NodeList loaded;
    ASSERT_EQ(LoadNodeList(path, loaded), QString());
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(NodeCellTexts(loaded.At(0)), NodeCellTexts(server));
    EXPECT_EQ(loaded.At(0).marks, server.marks);
    EXPECT_EQ(loaded.At(0).firstSeen, 0);
    // Empty comment and vendor cells come back as a single blank.
    EXPECT_EQ(loaded.At(1).comment, u" "_s);
    EXPECT_EQ(loaded.At(1).vendor, u" "_s);

    ASSERT_EQ(WriteNodeList(path, EncodeNodeList(loaded)), QString());
    EXPECT_TRUE(ReadFile(path).contains("192.168.0.6,00:0C:29:AA:BB:CC,,,,,,,,,,,\" \",\" \"\r\n"));
}

// Every shape a mark takes is written as the grid shows it.
TEST(NodeListFile, EveryMarkIsWrittenAsItsLetters)
{
    Node node = NodeAt(u"10.0.0.1"_s, u"02:00:00:00:00:01"_s);
    node.MarkOf(2) = Mark::Answered(Answer::Normal, FrameFormat::Ieee8023);
    node.MarkOf(3) = Mark::Answered(Answer::Illegal, FrameFormat::Ieee8023);
    node.MarkOf(4) = Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2);
    node.MarkOf(4).carried = true;
    node.MarkOf(5) = Mark::Answered(Answer::Normal, FrameFormat::Ieee8023);
    node.MarkOf(5).carried = true;
    node.MarkOf(6) = Mark::Off();
    node.MarkOf(6).answer = Answer::Illegal;
    node.MarkOf(11) = Mark::Answered(Answer::Normal, FrameFormat::Ethernet2);
    NodeList nodes;
    nodes.Replace({node});
    EXPECT_EQ(EncodeNodeList(nodes),
              Title + "10.0.0.1,02:00:00:00:00:01,o,x,+X,+o,-X,,,,,O,,\r\n" + EmptyLine);
}

TEST(NodeListFile, LinesWithInvalidIpOrMacAreDropped)
{
    const QByteArray file = Title + "192.168.0.2,00:11:22:33:44:02,O\r\n"
                                    "192.168.0.3 00 11 22 33 44 03 O\r\n" // blanks split the MAC
                                    "192.168.0.256,00:11:22:33:44:04\r\n"
                                    "\"192.168.0.5\",\"00-11-22-33-44-05\",,,,,,,,,,,c,v,extra\n"
                                    "192.168.0.6,zz:11:22:33:44:06\r"
                                    "192.168.0.7,00:11:22:33:44:07";
    const QList<Node> nodes = DecodeNodeList(file);
    ASSERT_EQ(nodes.size(), 3);
    EXPECT_EQ(nodes[0].ip.ToText(), u"192.168.0.2"_s);
    EXPECT_EQ(nodes[0].MarkOf(BroadcastColumn).Text(), u"O"_s);
    EXPECT_EQ(nodes[1].mac.ToText(), u"00:11:22:33:44:05"_s);
    EXPECT_EQ(nodes[1].comment, u"c"_s);
    EXPECT_EQ(nodes[1].vendor, u"v"_s);
    EXPECT_EQ(nodes[2].ip.ToText(), u"192.168.0.7"_s);
}

struct HandTypedCase
{
    const char *name;
    QByteArray fields;
    const char16_t *ip;
    const char16_t *mac;
};

void PrintTo(const HandTypedCase &c, std::ostream *os)
{
    *os << c.name;
}

class HandTypedNode : public testing::TestWithParam<HandTypedCase>
{
};

// Lists typed by hand or written by other tools: what the checks accept is
// read into canonical values, so it is found, compared and saved as any
// node the scan found.
TEST_P(HandTypedNode, IsReadIntoCanonicalValues)
{
    const QList<Node> nodes = DecodeNodeList(QByteArray(Title + GetParam().fields + "\r\n"));
    ASSERT_EQ(nodes.size(), 1);
    EXPECT_EQ(nodes[0].ip.ToText(), QString::fromUtf16(GetParam().ip));
    EXPECT_EQ(nodes[0].mac.ToText(), QString::fromUtf16(GetParam().mac));
}

INSTANTIATE_TEST_SUITE_P(
    NodeListFile, HandTypedNode,
    testing::Values(HandTypedCase{"LeadingZeros", "010.000.000.001,00:0C:29:AA:BB:CC", u"10.0.0.1",
                                  u"00:0C:29:AA:BB:CC"},
                    HandTypedCase{"HexOctets", "10.0x10.$FF.x1,00:0C:29:AA:BB:CC", u"10.16.255.1",
                                  u"00:0C:29:AA:BB:CC"},
                    HandTypedCase{"OneDigitLowerCaseBytes", "10.0.0.2,0:c:29:a:b:c", u"10.0.0.2",
                                  u"00:0C:29:0A:0B:0C"},
                    HandTypedCase{"Hyphens", "10.0.0.3,00-0c-29-aa-bb-cc", u"10.0.0.3",
                                  u"00:0C:29:AA:BB:CC"},
                    HandTypedCase{"BlankAfterEachColon", "10.0.0.5,\"00: 0c: 29: aa: bb: cc\"",
                                  u"10.0.0.5", u"00:0C:29:AA:BB:CC"},
                    HandTypedCase{"PaddedBytes", "10.0.0.6,000:0c:29:0aa:bb:cc", u"10.0.0.6",
                                  u"00:0C:29:AA:BB:CC"},
                    HandTypedCase{"QuotedBlanks", "\" 10.0.0.4 \",\"00 0c 29 aa bb cc\"",
                                  u"10.0.0.4", u"00:0C:29:AA:BB:CC"}),
    [](const auto &info) { return std::string(info.param.name); });

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
    const QList<Node> nodes = DecodeNodeList(file);
    ASSERT_EQ(nodes.size(), 4);
    EXPECT_EQ(nodes[0].mac.ToText(), u"00:11:22:33:44:02"_s);
    EXPECT_EQ(nodes[0].comment, u"node one"_s);
    EXPECT_EQ(nodes[0].vendor, u"Some Vendor"_s);
    EXPECT_EQ(nodes[1].comment, u"first line\r\nsecond, \"quoted\""_s);
    EXPECT_EQ(nodes[1].vendor, u"v"_s);
    // A quote no later line closes ends at its own line.
    EXPECT_EQ(nodes[2].comment, u"never closed"_s);
    EXPECT_EQ(nodes[3].ip.ToText(), u"192.168.0.5"_s);
}

TEST(NodeListFile, FileWithoutTheTitleLineKeepsItsFirstNode)
{
    const QList<Node> nodes =
        DecodeNodeList("192.168.0.1,00:11:22:33:44:01\r\n192.168.0.2,00:11:22:33:44:02\r\n");
    ASSERT_EQ(nodes.size(), 2);
    EXPECT_EQ(nodes[0].ip.ToText(), u"192.168.0.1"_s);
    EXPECT_TRUE(IsNodeListTitle(QString::fromUtf8(Title.chopped(2))));
    EXPECT_FALSE(IsNodeListTitle(u"192.168.0.1,00:11:22:33:44:01"_s));
}

// Lists written by Windows tools: a code-page comment keeps its letters
// instead of becoming replacement characters, and a UTF-16 file is read as such.
TEST(NodeListFile, LegacyAndUtf16ListsKeepTheirText)
{
    const QList<Node> legacy =
        DecodeNodeList(QByteArray(Title + "192.168.0.1,00:11:22:33:44:01,,,,,,,,,,,"
                                          "\"Caf\xe9 \x80\",v\r\n"));
    ASSERT_EQ(legacy.size(), 1);
    EXPECT_EQ(legacy[0].comment, u"Caf\u00e9 \u20ac"_s);

    const QString text = QString::fromUtf8(Title) + u"192.168.0.2,00:11:22:33:44:02,,,,,,,,,,,"
                                                    u"\u00fcber,v\r\n"_s;
    QByteArray utf16("\xff\xfe", 2);
    utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    const QList<Node> wide = DecodeNodeList(utf16);
    ASSERT_EQ(wide.size(), 1);
    EXPECT_EQ(wide[0].ip.ToText(), u"192.168.0.2"_s);
    EXPECT_EQ(wide[0].comment, u"\u00fcber"_s);
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
    NodeList nodes;
    nodes.Replace({MarkedNode(u"10.0.0.1"_s, u"00:11:22:33:44:55"_s)});
    const QString error = LoadNodeList(path, nodes);
    EXPECT_TRUE(error.contains(u"is not a node list"_s)) << error.toStdString();
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    ASSERT_EQ(nodes.Count(), 1);
    EXPECT_EQ(nodes.At(0).ip.ToText(), u"10.0.0.1"_s);
    EXPECT_EQ(nodes.At(0).MarkOf(BroadcastColumn).Text(), u"X"_s);
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
    NodeList nodes;
    nodes.Replace({NodeAt(u"10.0.0.1"_s, u"00:11:22:33:44:55"_s)});
    ASSERT_EQ(LoadNodeList(path, nodes), QString());
    EXPECT_EQ(nodes.Count(), 0);
    EXPECT_FALSE(nodes.Find(*IpAddress::FromText(u"10.0.0.1")));
}

// A /16's worth of nodes, one IP twice, loaded over a list that held
// others: every node is found at its index, the later of the two wins.
TEST(NodeListFile, LoadedNodesAreFoundAtSixtyFiveThousand)
{
    constexpr int Nodes = 65536;
    const auto ip = [](int i) { return u"10.1.%1.%2"_s.arg(i >> 8).arg(i & 0xFF); };
    const auto address = [&](int i) { return *IpAddress::FromText(ip(i)); };
    QByteArray file = Title;
    for (int i = 0; i < Nodes; ++i)
        file += ip(i).toLatin1() + ",02:00:00:00:00:01,X\r\n";
    file += ip(5).toLatin1() + ",02:00:00:00:00:02\r\n" + EmptyLine;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"n.csv"_s);
    WriteFile(path, file);
    NodeList nodes;
    nodes.Replace({NodeAt(ip(Nodes - 1), u"02:00:00:00:00:09"_s),
                   NodeAt(u"10.2.0.1"_s, u"02:00:00:00:00:0A"_s)});
    ASSERT_EQ(LoadNodeList(path, nodes), QString());
    ASSERT_EQ(nodes.Count(), Nodes + 1);
    for (int i = 0; i < Nodes; ++i) {
        const int index = i == 5 ? Nodes : i;
        ASSERT_EQ(nodes.Find(address(i)), index) << i;
        ASSERT_EQ(nodes.CountOf(address(i)), i == 5 ? 2 : 1) << i;
    }
    EXPECT_FALSE(nodes.Find(*IpAddress::FromText(u"10.2.0.1")));
    EXPECT_EQ(nodes.At(Nodes).mac.ToText(), u"02:00:00:00:00:02"_s);
    EXPECT_EQ(nodes.At(0).MarkOf(BroadcastColumn).Text(), u"X"_s);
}

TEST(NodeListFile, TitleOnlyOrEmptyFilesGiveAnEmptyTable)
{
    EXPECT_TRUE(DecodeNodeList(Title).isEmpty());
    EXPECT_TRUE(DecodeNodeList(QByteArray()).isEmpty());
    EXPECT_EQ(
        CellsOf(DecodeNodeList(QByteArray(Title + "10.0.0.1,00:11:22:33:44:55\r\n" + EmptyLine))),
        CellsOf(DecodeNodeList(QByteArray(Title + "10.0.0.1,00:11:22:33:44:55"))));
}

TEST(NodeListFile, UnreadableFileLeavesTheTableAsItWas)
{
    NodeList nodes;
    nodes.Replace({MarkedNode(u"10.0.0.1"_s, u"00:11:22:33:44:55"_s)});
    QTemporaryDir dir;
    const QString error = LoadNodeList(dir.filePath(u"absent.csv"_s), nodes);
    EXPECT_TRUE(error.startsWith(u"Cannot read the node list file"_s)) << error.toStdString();
    EXPECT_EQ(nodes.Count(), 1);
    EXPECT_EQ(nodes.At(0).MarkOf(BroadcastColumn).Text(), u"X"_s);

    EXPECT_FALSE(
        WriteNodeList(dir.filePath(u"no/such/folder.csv"_s), EncodeNodeList(nodes)).isEmpty());
}

TEST(NodeListFile, LoadReplacesEveryNode)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"n.csv"_s);
    WriteFile(path, Title + "10.0.0.9,00:11:22:33:44:99,X\r\n");
    NodeList nodes;
    nodes.Replace({MarkedNode(u"10.0.0.1"_s, u"00:11:22:33:44:55"_s),
                   NodeAt(u"10.0.0.2"_s, u"00:11:22:33:44:66"_s)});
    ASSERT_EQ(LoadNodeList(path, nodes), QString());
    EXPECT_EQ(nodes.Count(), 1);
    EXPECT_EQ(nodes.At(0).ip.ToText(), u"10.0.0.9"_s);
    EXPECT_EQ(nodes.At(0).MarkOf(BroadcastColumn).Text(), u"X"_s);
}

// A report written with verdicts and seen times keeps them when loaded,
// wherever its title line puts those columns; a list without them, or with
// text there that names no verdict or time, loads its nodes alone, and a
// cell that holds no mark loads empty.
struct ReportLoadCase
{
    const char *name;
    QByteArray file;
    ConfirmationVerdict verdict;
    std::optional<int> answers;
    qint64 firstSeen;
    qint64 lastSeen;
};

class ReportLoad : public testing::TestWithParam<ReportLoadCase>
{
};

TEST_P(ReportLoad, KeepsTheReportColumnsTheFileHolds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"report.csv"_s);
    WriteFile(path, GetParam().file);
    NodeList nodes;
    ASSERT_EQ(LoadNodeList(path, nodes), QString());
    ASSERT_EQ(nodes.Count(), 1);
    const Node &node = nodes.At(0);
    EXPECT_EQ(node.MarkOf(BroadcastColumn).Text(), u"O"_s);
    EXPECT_EQ(node.MarkOf(BroadcastColumn + 1).Text(), u"X"_s);
    EXPECT_TRUE(node.MarkOf(BroadcastColumn + 2).IsEmpty());
    EXPECT_EQ(node.vendor, u"Realtek"_s);
    EXPECT_EQ(nodes.ReportedVerdict(node.ip), GetParam().verdict);
    EXPECT_EQ(nodes.ConfirmationAnswers(node.ip), GetParam().answers);
    EXPECT_EQ(node.firstSeen, GetParam().firstSeen);
    EXPECT_EQ(node.lastSeen, GetParam().lastSeen);
}

const QByteArray ReportTitle = "IP Address,MAC Address,Br,B47,B16,B8,Gr,M0,M1,M3,S1,S2,Comment,"
                               "Vender Code,Verdict,Confirmation answers,First seen,Last seen\r\n";
// 2026-12-08 10:00:00 and 10:05:30 UTC.
constexpr qint64 TenOClock = 1796724000000;
constexpr qint64 FiveAndAHalfPast = TenOClock + 330000;

INSTANTIATE_TEST_SUITE_P(
    Files, ReportLoad,
    testing::Values(
        ReportLoadCase{"Report",
                       ReportTitle +
                           "10.0.0.5,00:E0:4C:68:01:2A,O,X,Q,,,,,,,,,Realtek,confirmed,24,"
                           "2026-12-08T10:00:00Z,2026-12-08T11:05:30+01:00\r\n",
                       ConfirmationVerdict::Confirmed, 24, TenOClock, FiveAndAHalfPast},
        ReportLoadCase{"ColumnsMoved",
                       "IP Address,MAC Address,Br,B47,B16,B8,Gr,M0,M1,M3,S1,S2,Comment,"
                       "Vender Code,Last seen,Note,Verdict\r\n"
                       "10.0.0.5,00:E0:4C:68:01:2A,O,X,,,,,,,,,,Realtek,2026-12-08T10:00:00Z,"
                       "x,filter match\r\n",
                       ConfirmationVerdict::FilterMatch, std::nullopt, 0, TenOClock},
        ReportLoadCase{"UnknownWords",
                       ReportTitle + "10.0.0.5,00:E0:4C:68:01:2A,O,X,,,,,,,,,,Realtek,guilty,many,"
                                     "yesterday,\r\n",
                       ConfirmationVerdict::None, std::nullopt, 0, 0},
        ReportLoadCase{"NodeListFile",
                       Title + "10.0.0.5,00:E0:4C:68:01:2A,O,X,,,,,,,,,,Realtek,"
                               "confirmed,24,2026-12-08T10:00:00Z\r\n",
                       ConfirmationVerdict::None, std::nullopt, 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
