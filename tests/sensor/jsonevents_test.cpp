#include "sensor/jsonevents.h"

#include "support/eventrecorder.h"
#include "support/scaneventvalues.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;
using namespace keelwatch;
using enum keelwatch::ScanEventKind;

namespace {

const QDateTime When(QDate(2004, 1, 5), QTime(14, 3, 27), QTimeZone(3600));

Node LoggedNode()
{
    Node node;
    node.ip = IpAddress::FromIpv4(0xC0A80005);
    node.mac = *MacAddress::FromText(u"00:11:22:33:44:55");
    node.vendor = u"Lab \"Cards\" Ltd"_s;
    node.comment = u"printer"_s;
    return node;
}

ScanEvent Scan(ScanEventKind kind, int count = 0)
{
    return ScanWideEvent(kind, count);
}

ScanEvent About(ScanEventKind kind, int column)
{
    return NodeEvent(LoggedNode(), kind, column);
}

ScanEvent Answered(Answer answer, FrameFormat format, int column)
{
    return AnswerEvent(LoggedNode(), answer, format, column);
}

ScanEvent Verdict(ConfirmationVerdict verdict, int answered)
{
    return VerdictEvent(LoggedNode(), verdict, answered);
}

struct EventCase
{
    const char *name;
    ScanEvent event;
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
    EXPECT_EQ(JsonEventLine(c.event, When, c.format), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, JsonEvent,
    ::testing::Values(
        EventCase{"Start", Scan(ScanStarted), FrameFormat::Ethernet2,
                  "{\"event\":\"START\",\"time\":\"2004-01-05T14:03:27.000+01:00\"}\n"},
        EventCase{
            "Cycle", Scan(CycleEnded, 12), FrameFormat::Ethernet2,
            "{\"cycle\":12,\"event\":\"CYCLE\",\"time\":\"2004-01-05T14:03:27.000+01:00\"}\n"},
        EventCase{"Dropped", Scan(FramesDropped, 31), FrameFormat::Ethernet2,
                  "{\"event\":\"CAPTURE DROPPED\",\"frames\":31,\"time\":\"2004-01-05T14:03:"
                  "27.000+01:00\"}\n"},
        EventCase{"Rejected", Scan(RepliesRejected, 12), FrameFormat::Ethernet2,
                  "{\"event\":\"REPLIES REJECTED\",\"replies\":12,\"time\":\"2004-01-05T14:"
                  "03:27.000+01:00\"}\n"},
        EventCase{"Suspect", About(SuspectFound, 3), FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"PROMISC SUSPECT\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"test\":\"B47\",\"time\":\"2004-01-05T14:03:27."
                  "000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        // The two events that alert in the desktop program say so.
        EventCase{"Up", About(PromiscuousStarted, 11), FrameFormat::Ethernet2,
                  "{\"alert\":true,\"comment\":\"printer\",\"event\":\"PROMISC "
                  "START\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"test\":\"S2\",\"time\":\"2004-01-05T14:03:27."
                  "000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        EventCase{"Down", About(PromiscuousStopped, 6), FrameFormat::Ethernet2,
                  "{\"alert\":true,\"comment\":\"printer\",\"event\":\"PROMISC "
                  "STOP\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"test\":\"Gr\",\"time\":\"2004-01-05T14:03:27."
                  "000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        EventCase{"Confirmed", Verdict(ConfirmationVerdict::Confirmed, 24), FrameFormat::Ethernet2,
                  "{\"answered\":24,\"comment\":\"printer\",\"event\":\"PROMISC CONFIRMED\","
                  "\"ip\":\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"probes\":192,"
                  "\"time\":\"2004-01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" "
                  "Ltd\",\"verdict\":\"confirmed\"}\n"},
        EventCase{"FilterMatch", Verdict(ConfirmationVerdict::FilterMatch, 5),
                  FrameFormat::Ethernet2,
                  "{\"answered\":5,\"comment\":\"printer\",\"event\":\"PROMISC FILTER-MATCH\","
                  "\"ip\":\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"probes\":192,"
                  "\"time\":\"2004-01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" "
                  "Ltd\",\"verdict\":\"filter match\"}\n"},
        EventCase{"MacChange", About(MacChanged, 0), FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"MAC CHANGE\",\"ip\":\"192.168.0.5\","
                  "\"mac\":\"00:11:22:33:44:55\",\"time\":\"2004-01-05T14:03:27.000+01:00\","
                  "\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        // The answer's own frame, whatever the probes' setting says.
        EventCase{"AnswerIeee", Answered(Answer::Illegal, FrameFormat::Ieee8023, 4),
                  FrameFormat::Ethernet2,
                  "{\"comment\":\"printer\",\"event\":\"ON\",\"frame\":\"ieee802.3\",\"ip\":"
                  "\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"test\":\"B16\",\"time\":\"2004-"
                  "01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        EventCase{"BroadcastAnswer", Answered(Answer::Normal, FrameFormat::Ethernet2, 2),
                  FrameFormat::Ieee8023,
                  "{\"comment\":\"printer\",\"event\":\"ON\",\"frame\":\"ethernet\",\"ip\":"
                  "\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"test\":\"Br\",\"time\":\"2004-"
                  "01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"},
        // A lost answer in the frame format the probes were sent in.
        EventCase{"LostAnswer", About(ResponseLost, 5), FrameFormat::Ieee8023,
                  "{\"comment\":\"printer\",\"event\":\"OFF\",\"frame\":\"ieee802.3\",\"ip\":"
                  "\"192.168.0.5\",\"mac\":\"00:11:22:33:44:55\",\"test\":\"B8\",\"time\":\"2004-"
                  "01-05T14:03:27.000+01:00\",\"vendor\":\"Lab \\\"Cards\\\" Ltd\"}\n"}));

struct NodeCase
{
    const char *name;
    std::vector<std::pair<int, Mark>> marks; // column, mark
    QJsonArray answers;
    bool suspect;
    ConfirmationVerdict verdict = ConfirmationVerdict::None;
    std::optional<int> answered = std::nullopt;
    const char16_t *verdictName = u"none";
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
    Node node = LoggedNode();
    for (const auto &[column, mark] : GetParam().marks)
        node.MarkOf(column) = mark;
    const QByteArray line = JsonNodeLine(node, GetParam().verdict, GetParam().answered, When);
    ASSERT_TRUE(line.endsWith('\n'));
    ASSERT_EQ(line.count('\n'), 1);
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    EXPECT_EQ(object.value(u"event"_s).toString(), u"NODE"_s);
    EXPECT_EQ(object.value(u"ip"_s).toString(), u"192.168.0.5"_s);
    EXPECT_EQ(object.value(u"answers"_s).toArray(), GetParam().answers);
    EXPECT_EQ(object.value(u"suspect"_s).toBool(), GetParam().suspect);
    EXPECT_EQ(object.value(u"verdict"_s).toString(), QString::fromUtf16(GetParam().verdictName));
    // n of K only for a node that was sent confirmation probes.
    EXPECT_EQ(object.contains(u"answered"_s), GetParam().answered.has_value());
    EXPECT_EQ(object.value(u"answered"_s).toInt(-1), GetParam().answered.value_or(-1));
    EXPECT_EQ(object.value(u"probes"_s).toInt(-1),
              GetParam().answered ? ConfirmationProbeCount : -1);
}

const Mark NormalAnswer = Mark::Answered(Answer::Normal, FrameFormat::Ethernet2);
const Mark IllegalAnswer = Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2);

INSTANTIATE_TEST_SUITE_P(
    Marks, JsonNode,
    ::testing::Values(NodeCase{"NormalCard",
                               {{2, NormalAnswer}, {8, NormalAnswer}, {3, Mark::Off()}},
                               {u"Br"_s, u"M1"_s},
                               false},
                      NodeCase{"Promiscuous",
                               {{2, NormalAnswer},
                                {3, IllegalAnswer},
                                {7, Mark::Answered(Answer::Illegal, FrameFormat::Ieee8023)}},
                               {u"Br"_s, u"B47"_s, u"M0"_s},
                               true,
                               ConfirmationVerdict::Confirmed,
                               22,
                               u"confirmed"},
                      NodeCase{"FilterMatch",
                               {{2, NormalAnswer}, {9, IllegalAnswer}},
                               {u"Br"_s, u"M3"_s},
                               true,
                               ConfirmationVerdict::FilterMatch,
                               0,
                               u"filter match"},
                      // Without the broadcast answer the node is not judged, as the scan
                      // does not judge it.
                      NodeCase{"NoBroadcastAnswer", {{3, IllegalAnswer}}, {u"B47"_s}, false},
                      NodeCase{"Unanswered", {}, {}, false}));

// Connected after the event log, the sink writes each event's line once the
// log has it.
TEST(JsonEventSink, WritesEveryEventAfterTheLogAndCountsSuspectsAndStarts)
{
    FixedSettings settings;
    NodeList nodes;
    const int index = nodes.Add(LoggedNode().ip, LoggedNode().mac, {});
    const Node &node = nodes.At(index);
    FixedClock clock(When);
    ScanEvents events;
    EventRecorder log(events);
    QList<QByteArray> lines;
    QList<qsizetype> logged;
    JsonEventSink sink(settings, nodes, clock, [&](const QByteArray &line) {
        lines << line;
        logged << log.lines.size();
    });
    sink.Listen(events);

    Q_EMIT events.scanStarted();
    Q_EMIT events.testAnswered(node, 3, IllegalAnswer);
    Q_EMIT events.suspectFound(node, 3);
    Q_EMIT events.promiscuousStarted(node, 3);
    Q_EMIT events.verdictReached(node, ConfirmationVerdict::Confirmed, 20);
    Q_EMIT events.verdictReached(node, ConfirmationVerdict::FilterMatch, 3);
    Q_EMIT events.promiscuousStopped(node, 3);

    EXPECT_EQ(log.lines,
              (QStringList{u"start 0"_s, u"X 3 192.168.0.5"_s, u"SUSPECT 3 192.168.0.5"_s,
                           u"UP 3 192.168.0.5"_s, u"CONFIRMED 20 192.168.0.5"_s,
                           u"FILTER-MATCH 3 192.168.0.5"_s, u"DOWN 3 192.168.0.5"_s}));
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(logged, (QList<qsizetype>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(lines[2].contains("\"ip\":\"192.168.0.5\"")) << lines[2].constData();
    EXPECT_EQ(sink.Suspects(), 2);
    EXPECT_EQ(sink.Confirmed(), 1);

    sink.WriteNodeList();
    ASSERT_EQ(lines.size(), 8);
    EXPECT_TRUE(lines[7].contains("\"event\":\"NODE\"")) << lines[7].constData();
}

TEST(JsonEventSink, WithoutWriterEventsAreOnlyCounted)
{
    FixedSettings settings;
    NodeList nodes;
    nodes.Add(LoggedNode().ip, LoggedNode().mac, {});
    FixedClock clock(When);
    JsonEventSink sink(settings, nodes, clock, {});
    sink.WriteEvent(About(SuspectFound, 3));
    sink.WriteNodeList();
    EXPECT_EQ(sink.Suspects(), 1);
}

} // namespace
