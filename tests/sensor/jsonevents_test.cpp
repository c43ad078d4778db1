#include "sensor/jsonevents.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <vector>

using namespace Qt::StringLiterals;
using keelwatch::FrameFormat;
using keelwatch::NodeTable;

namespace {

const QDateTime When(QDate(2004, 1, 5), QTime(14, 3, 27), QTimeZone(3600));

NodeTable::Row Node()
{
    NodeTable::Row cells;
    cells[NodeTable::IpColumn] = u"192.168.0.5"_s;
    cells[NodeTable::MacColumn] = u"00:11:22:33:44:55"_s;
    cells[NodeTable::VendorColumn] = u"Lab \"Cards\" Ltd"_s;
    cells[NodeTable::CommentColumn] = u"printer"_s;
    return cells;
}

struct EventCase
{
    const char *name;
    QString kind;
    int number;
    FrameFormat format;
    // The exact line, members in the order QJsonObject sorts them.
    QByteArray line;
};

void PrintTo(const EventCase &c, std::ostream *os)
{
    *os << c.name;
}

class JsonEvent : public ::testing::TestWithParam<EventCase>
{
};

TEST_P(JsonEvent, IsOneCompactLine)
{
    const EventCase &c = GetParam();
    EXPECT_EQ(keelwatch::JsonEventLine(c.kind, c.number, Node(), When, c.format), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, JsonEvent,
    ::testing::Values(
        EventCase{"Start", u"start"_s, 0, FrameFormat::Ethernet2,
                  "{\"event\":\"START\",\"time\":\"2004-01-05T14:03:27.000+01:00\"}\n"},
        EventCase{
            "Cycle", u"cycle"_s, 12, FrameFormat::Ethernet2,
            "{\"cycle\":12,\"event\":\"CYCLE\",\"time\":\"2004-01-05T14:03:27.000+01:00\"}\n"},
        EventCase{"Dropped", u"dropped"_s, 31, FrameFormat::Ethernet2,
                  "{\"event\":\"CAPTURE DROPPED\",\"frames\":31,\"time\":\"2004-01-05T14:03:"
                  "27.000+01:00\"}\n"},
        EventCase{"Suspect", u"SUSPECT"_s, 3, FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"PROMISC SUSPECT\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"test\":\"B47\",\"time\":\"2004-01-05T14:03:27."
                  "000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        EventCase{"Up", u"UP"_s, 11, FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"PROMISC START\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"test\":\"S2\",\"time\":\"2004-01-05T14:03:27."
                  "000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        EventCase{"Down", u"DOWN"_s, 6, FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"PROMISC STOP\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"test\":\"Gr\",\"time\":\"2004-01-05T14:03:27."
                  "000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        EventCase{"Confirmed", u"CONFIRMED"_s, 24, FrameFormat::Ethernet2,
                  "{\"answered\":24,\"comment\":\"printer\",\"event\":\"PROMISC CONFIRMED\","
                  "\"ip\":\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"probes\":24,"
                  "\"time\":\"2004-01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" "
                  "Ltd\",\"verdict\":\"confirmed\"}\n"},
        EventCase{"FilterMatchStart", u"UP-FILTER-MATCH"_s, 9, FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"PROMISC START\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"test\":\"M3\",\"time\":\"2004-01-05T14:03:27."
                  "000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\",\"verdict\":\"filter "
                  "match\"}\n"},
        EventCase{"MacChange", u"mac"_s, 0, FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"MAC CHANGE\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"time\":\"2004-01-05T14:03:27.000+01:00\","
                  "\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        // The answer's own frame, whatever the probes' setting says.
        EventCase{"AnswerIeee", u"x"_s, 4, FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"ON\",\"frame\":\"ieee802.3\",\"ip\":"
                  "\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"test\":\"B16\",\"time\":\"2004-"
                  "01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        EventCase{"BroadcastAnswer", u"O"_s, 2, FrameFormat::Ieee8023,
                  "{\"comment\":\"printer\",\"event\":\"ON\",\"frame\":\"ethernet\",\"ip\":"
                  "\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"test\":\"Br\",\"time\":\"2004-"
                  "01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        // A lost answer in the frame format the probes were sent in.
        EventCase{"LostAnswer", u"+"_s, 5, FrameFormat::Ieee8023,
                  "{\"comment\":\"printer\",\"event\":\"OFF\",\"frame\":\"ieee802.3\",\"ip\":"
                  "\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"test\":\"B8\",\"time\":\"2004-"
                  "01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"}));

struct NodeCase
{
    const char *name;
    std::vector<std::pair<int, QString>> marks; // column, cell
    QJsonArray answers;
    bool suspect;
};

void PrintTo(const NodeCase &c, std::ostream *os)
{
    *os << c.name;
}

class JsonNode : public ::testing::TestWithParam<NodeCase>
{
};

TEST_P(JsonNode, ListsTheAnswersAndWhetherTheyBetrayTheCard)
{
    NodeTable::Row cells = Node();
    for (const auto &[column, mark] : GetParam().marks)
        cells[size_t(column)] = mark;
    const QByteArray line = keelwatch::JsonNodeLine(cells, When);
    ASSERT_TRUE(line.endsWith('\n'));
    ASSERT_EQ(line.count('\n'), 1);
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    EXPECT_EQ(object.value(u"event"_s).toString(), u"NODE"_s);
    EXPECT_EQ(object.value(u"ip"_s).toString(), u"192.168.0.5"_s);
    EXPECT_EQ(object.value(u"answers"_s).toArray(), GetParam().answers);
    EXPECT_EQ(object.value(u"suspect"_s).toBool(), GetParam().suspect);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, JsonNode,
    ::testing::Values(
        NodeCase{"NormalCard", {{2, u"O"_s}, {8, u"O"_s}, {3, u"-"_s}}, {u"Br"_s, u"M1"_s}, false},
        NodeCase{"Promiscuous",
                 {{2, u"O"_s}, {3, u"X"_s}, {7, u"x"_s}},
                 {u"Br"_s, u"B47"_s, u"M0"_s},
                 true},
        // Without the broadcast answer the node is not judged, as the scan
        // does not judge it.
        NodeCase{"NoBroadcastAnswer", {{3, u"X"_s}}, {u"B47"_s}, false},
        NodeCase{"Unanswered", {}, {}, false}));

class RecordingSink : public keelwatch::EventSink
{
  public:
    void WriteEvent(const QString &kind, int number, int row) override
    {
        written << u"%1 %2 %3"_s.arg(kind).arg(number).arg(row);
    }
    QStringList written;
};

class FixedClock : public keelwatch::Clock
{
  public:
    QDateTime Now() const override { return When; }
};

TEST(JsonEventSink, PassesEveryEventOnAndCountsSuspectsAndStarts)
{
    RecordingSink log;
    keelwatch::FixedSettings settings;
    NodeTable nodes;
    const int row = nodes.AddNodeRow(u"192.168.0.5"_s, u"00:11:22:33:44:55"_s, {});
    FixedClock clock;
    QList<QByteArray> lines;
    keelwatch::JsonEventSink sink(log, settings, nodes, clock,
                                  [&lines](const QByteArray &line) { lines << line; });

    for (const QString &kind : {u"start"_s, u"X"_s, u"SUSPECT"_s, u"UP"_s, u"DOWN"_s})
        sink.WriteEvent(kind, 3, row);

    EXPECT_EQ(log.written, (QStringList{u"start 3 1"_s, u"X 3 1"_s, u"SUSPECT 3 1"_s, u"UP 3 1"_s,
                                        u"DOWN 3 1"_s}));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[2].contains("\"ip\":\"192.168.0.5\"")) << lines[2].constData();
    EXPECT_EQ(sink.Suspects(), 2);

    sink.WriteNodeList();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[5].contains("\"event\":\"NODE\"")) << lines[5].constData();
}

TEST(JsonEventSink, WithoutWriterOnlyTheLogHearsOfEvents)
{
    RecordingSink log;
    keelwatch::FixedSettings settings;
    NodeTable nodes;
    FixedClock clock;
    keelwatch::JsonEventSink sink(log, settings, nodes, clock, {});
    sink.WriteEvent(u"SUSPECT"_s, 3, 0);
    sink.WriteNodeList();
    EXPECT_EQ(log.written, QStringList{u"SUSPECT 3 0"_s});
    EXPECT_EQ(sink.Suspects(), 1);
}

} // namespace
