#include "report/eventline.h"

#include "config/fieldsplit.h"

#include <gtest/gtest.h>

#include <random>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

struct TypedCase
{
    const char *name;
    QByteArray line;
    LogLineKind kind;
    // "count", "date clock", "ip", "mac" as the reader gives them, joined by |.
    const char *texts;
    std::optional<IpAddress> ip;
    int test;
    NodeState state;
    std::optional<qint64> count = {};
    std::optional<int> answered = {};
};

std::string Texts(const LogLine &line)
{
    const QString texts = QString::fromUtf8(line.countText) + u'|' + line.DateTimeText() + u'|' +
                          QString::fromUtf8(line.ipText) + u'|' + QString::fromUtf8(line.macText);
    return texts.toStdString();
}

class TypedLines : public testing::TestWithParam<TypedCase>
{
};

// The lines the log writes, and near misses, read into their kinds and values.
TEST_P(TypedLines, ReadIntoKindAndValues)
{
    const TypedCase &c = GetParam();
    LogLineReader reader('\t');
    const LogLine line = reader.Read(c.line);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(Texts(line), c.texts);
    EXPECT_EQ(line.ip, c.ip);
    EXPECT_EQ(line.test, c.test);
    EXPECT_EQ(line.state, c.state);
    EXPECT_EQ(line.Count(), c.count);
    EXPECT_EQ(line.Answered(), c.answered);
}

constexpr IpAddress Node5 = IpAddress::FromIpv4(0xC0A80005);

INSTANTIATE_TEST_SUITE_P(
    EventLine, TypedLines,
    testing::Values(
        TypedCase{"Banner",
                  "### START Keelwatch\t0017\t05/Jan/2004 14:03:27\t192.168.0.1-192.168.0.254 ###",
                  LogLineKind::Banner,
                  "|05/Jan/2004 14:03:27||",
                  {},
                  -1,
                  NodeState::Other},
        TypedCase{"Cycle",
                  "#Cyclic_Count\t12\t05/Jan/2004 14:03:27",
                  LogLineKind::Cycle,
                  "12|05/Jan/2004 14:03:27||",
                  {},
                  -1,
                  NodeState::Other,
                  12},
        TypedCase{"CycleCountNoNumber",
                  "#Cyclic_Count\t7a\t05/Jan/2004 14:03:27",
                  LogLineKind::Cycle,
                  "7a|05/Jan/2004 14:03:27||",
                  {},
                  -1,
                  NodeState::Other},
        TypedCase{"CycleOfThreePieces",
                  "#Cyclic_Count\t12\t05/Jan/2004",
                  LogLineKind::Other,
                  "| ||",
                  {},
                  -1,
                  NodeState::Other},
        TypedCase{"Dropped",
                  "#Dropped_Frames\t31\t05/Jan/2004 14:12:00",
                  LogLineKind::Dropped,
                  "31|05/Jan/2004 14:12:00||",
                  {},
                  -1,
                  NodeState::Other,
                  31},
        TypedCase{"Mark",
                  "05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:5F]\tB47\tON\tethernet",
                  LogLineKind::Node, "|05/Jan/2004 14:03:27|192.168.0.5|[00:11:22:33:44:5F]", Node5,
                  1, NodeState::On},
        TypedCase{"MacChange",
                  "05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tMAC\tCHANGE\t-",
                  LogLineKind::Node, "|05/Jan/2004 14:03:27|192.168.0.5|[00:11:22:33:44:55]", Node5,
                  -1, NodeState::Change},
        TypedCase{"Confirmed",
                  "05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tCONFIRMED\t"
                  "20/24",
                  LogLineKind::Node,
                  "|05/Jan/2004 14:03:27|192.168.0.5|[00:11:22:33:44:55]",
                  Node5,
                  -1,
                  NodeState::Confirmed,
                  {},
                  20},
        // A trailing TAB adds no piece: the six pieces before it are a node
        // line with an empty last piece.
        TypedCase{"SuspectWithTab",
                  "05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSUSPECT\t",
                  LogLineKind::Node, "|05/Jan/2004 14:03:27|192.168.0.5|[00:11:22:33:44:55]", Node5,
                  -1, NodeState::Suspect},
        TypedCase{"SixPiecesWithoutTheTab",
                  "05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSUSPECT",
                  LogLineKind::Other,
                  "| ||",
                  {},
                  -1,
                  NodeState::Other},
        // An IP with a leading zero or a fifth number is no IP the log writes.
        TypedCase{"LeadingZero",
                  "05/Jan/2004 14:03:27\t192.168.0.05\t[00:11:22:33:44:55]\tBr\tON\tethernet",
                  LogLineKind::Node,
                  "|05/Jan/2004 14:03:27|192.168.0.05|[00:11:22:33:44:55]",
                  {},
                  0,
                  NodeState::On},
        TypedCase{
            "QuotedPieces", "05/Jan/2004 \"14:03\"\"27\"\t\"192.168.0.5\"\t[x]\tS2\tOFF\tethernet",
            LogLineKind::Node, "|05/Jan/2004 14:03\"27|192.168.0.5|[x]", Node5, 9, NodeState::Off},
        TypedCase{"HashMakesNoNodeLine",
                  "05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tBr\tON\t#",
                  LogLineKind::Other,
                  "| ||",
                  {},
                  -1,
                  NodeState::Other}),
    [](const auto &info) { return info.param.name; });

// The pieces the reader takes are those SplitFields gives for the decoded
// line, whatever bytes a line holds.
TEST(EventLine, ReaderPiecesAreSplitFieldsPieces)
{
    const QByteArray alphabet("0123456789./: \t,\"#aZ[]\x00\x01\xc3\xa9", 26);
    const QByteArray words[] = {"#Cyclic_Count", "### START Keelwatch", "#Dropped_Frames",
                                "192.168.0.5",   "05/Jan/2004",         "\"\""};
    std::mt19937 random(11);
    for (const char delimiter : {'\t', ','}) {
        LogLineReader reader(delimiter);
        for (int i = 0; i < 20000; ++i) {
            QByteArray line;
            for (int k = int(random() % 24); k > 0; --k) {
                if (random() % 6 == 0)
                    line += words[random() % std::size(words)];
                else
                    line += alphabet[qsizetype(random() % alphabet.size())];
            }
            const QStringList f =
                SplitFields(QString::fromUtf8(line), QChar::fromLatin1(delimiter));
            const LogLine read = reader.Read(line);
            const QString d = f.value(2) + u' ' + f.value(3);
            SCOPED_TRACE(line.toPercentEncoding().toStdString());
            if (line.contains("### START Keelwatch")) {
                ASSERT_EQ(read.kind, f.size() == 8 ? LogLineKind::Banner : LogLineKind::Other);
                if (f.size() == 8) {
                    ASSERT_EQ(read.DateTimeText(), f[4] + u' ' + f[5]);
                }
            } else if (line.contains("Cyclic_Count")) {
                ASSERT_EQ(read.kind, f.size() == 4 ? LogLineKind::Cycle : LogLineKind::Other);
                if (f.size() == 4) {
                    ASSERT_EQ(QString::fromUtf8(read.countText), f[1]);
                    ASSERT_EQ(read.DateTimeText(), d);
                }
            } else if (!line.contains('#') &&
                       (f.size() == 7 ||
                        (f.size() == 6 && delimiter == '\t' && line.endsWith('\t')))) {
                ASSERT_EQ(read.kind, LogLineKind::Node);
                ASSERT_EQ(read.pieces, f.size());
                ASSERT_EQ(QString::fromUtf8(read.ipText), f[2]);
                ASSERT_EQ(QString::fromUtf8(read.macText), f[3]);
                ASSERT_EQ(QString::fromUtf8(read.last), f.value(6));
            } else if (read.kind != LogLineKind::Dropped) {
                ASSERT_EQ(read.kind, LogLineKind::Other);
            }
        }
    }
}

// Cycle lines read in place give what Read gives for each of them, and the
// run stops at the first line of another shape.
TEST(EventLine, WrittenCyclesReadInPlaceAsRead)
{
    for (const char delimiter : {'\t', ','}) {
        const QByteArray d(1, delimiter);
        const QByteArray text = "#Cyclic_Count" + d + "7" + d + "05/Jan/2004 14:00:00\r\n" +
                                "#Cyclic_Count" + d + "1234567890" + d +
                                "05/Jan/2004 14:00:01\r\n" + "#Cyclic_Count" + d + "8" + d +
                                "05/Jan/2004 14:00:0\"\r\n";
        LogLineReader reader(delimiter);
        std::array<WrittenCycleLine, 4> lines;
        qsizetype used = 0;
        ASSERT_EQ(reader.ReadWrittenCycles(text, lines, used), 2) << delimiter;
        EXPECT_EQ(text[used], '#');
        for (qsizetype at = 0, i = 0; i < 2; ++i) {
            const qsizetype end = text.indexOf('\r', at);
            const LogLine read = reader.Read(QByteArrayView(text).sliced(at, end - at));
            EXPECT_EQ(read.kind, LogLineKind::Cycle);
            EXPECT_EQ(read.countText, lines[size_t(i)].countText);
            EXPECT_EQ(read.date, lines[size_t(i)].date);
            EXPECT_EQ(read.clock, lines[size_t(i)].clock);
            at = end + 2;
        }
    }
}

TEST(EventLine, LoggedIpIsDottedDecimalWithoutLeadingZeros)
{
    EXPECT_EQ(ReadLoggedIp("10.77.0.1"), IpAddress::FromIpv4(0x0A4D0001));
    EXPECT_EQ(ReadLoggedIp("255.255.255.255"), IpAddress::FromIpv4(0xFFFFFFFF));
    EXPECT_EQ(ReadLoggedIp("0.0.0.0"), IpAddress::FromIpv4(0));
    for (const char *bad : {"10.77.0.01", "10.77.0.256", "10.77.0", "10.77.0.1.", "10.77.0.1 ",
                            "1.2.3.4.5", "", "a.b.c.d", "10..0.1"})
        EXPECT_EQ(ReadLoggedIp(bad), std::nullopt) << bad;
}

} // namespace
