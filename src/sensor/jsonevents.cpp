#include "sensor/jsonevents.h"

#include "report/eventline.h"
#include "report/syslog5424.h"
#include "scan/confirmationprobes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

QString FrameName(FrameFormat format)
{
    return format == FrameFormat::Ethernet2 ? u"ethernet"_s : u"ieee802.3"_s;
}

} // namespace

JsonEventSink::JsonEventSink(const LiveSettings &settings, const NodeList &nodes,
                             const Clock &clock, Writer writer)
    : settings(settings), nodes(nodes), clock(clock), writer(std::move(writer))
{
}

void JsonEventSink::Listen(const ScanEvents &events)
{
    ForwardScanEvents(events, this, [this](const ScanEvent &event) { WriteEvent(event); });
}

void JsonEventSink::WriteEvent(const ScanEvent &event)
{
    if (event.kind == ScanEventKind::SuspectFound ||
        event.kind == ScanEventKind::PromiscuousStarted)
        ++suspects;
    if (event.kind == ScanEventKind::VerdictReached &&
        event.verdict == ConfirmationVerdict::Confirmed)
        ++confirmed;
    if (writer)
        writer(JsonEventLine(event, clock.Now(), settings.Read().format));
}

void JsonEventSink::WriteNodeList()
{
    if (!writer)
        return;
    const QDateTime when = clock.Now();
    for (const Node &node : nodes.All())
        writer(JsonNodeLine(node, nodes.ReportedVerdict(node.ip),
                            nodes.ConfirmationAnswers(node.ip), when));
}

QByteArray JsonNodeLine(const Node &node, ConfirmationVerdict verdict, std::optional<int> answered,
                        const QDateTime &when)
{
    QJsonArray answers;
    for (const TestAddress &test : TestAddresses) {
        if (node.MarkOf(test.column).Answered())
            answers.append(QString::fromUtf16(test.shortName));
    }
    QJsonObject object{
        {u"time"_s, QString::fromLatin1(Rfc3339Timestamp(when))},
        {u"event"_s, u"NODE"_s},
        {u"ip"_s, node.ip.ToText()},
        {u"mac"_s, node.mac.ToText()},
        {u"vendor"_s, node.vendor},
        {u"comment"_s, node.comment},
        {u"answers"_s, answers},
        {u"suspect"_s, node.IsSuspect()},
        {u"verdict"_s, VerdictWord(verdict)},
    };
    if (answered) {
        object.insert(u"answered"_s, *answered);
        object.insert(u"probes"_s, ConfirmationProbeCount);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray JsonEventLine(const ScanEvent &event, const QDateTime &when, FrameFormat format)
{
    QJsonObject object{{u"time"_s, QString::fromLatin1(Rfc3339Timestamp(when))}};
    const auto node = [&](const QString &name, bool withTest) {
        object.insert(u"event"_s, name);
        object.insert(u"ip"_s, event.node.ip.ToText());
        object.insert(u"mac"_s, event.node.mac.ToText());
        object.insert(u"vendor"_s, event.node.vendor);
        object.insert(u"comment"_s, event.node.comment);
        if (withTest)
            object.insert(u"test"_s, TestName(event.column));
    };
    switch (event.kind) {
    case ScanEventKind::ScanStarted:
        object.insert(u"event"_s, u"START"_s);
        break;
    case ScanEventKind::CycleEnded:
        object.insert(u"event"_s, u"CYCLE"_s);
        object.insert(u"cycle"_s, event.count);
        break;
    case ScanEventKind::FramesDropped:
        // The cycle's losses were not judged: this many frames went unseen.
        object.insert(u"event"_s, u"CAPTURE DROPPED"_s);
        object.insert(u"frames"_s, event.count);
        break;
    case ScanEventKind::RepliesRejected:
        // Replies that answered no probe of this scan, not used.
        object.insert(u"event"_s, u"REPLIES REJECTED"_s);
        object.insert(u"replies"_s, event.count);
        break;
    case ScanEventKind::MacChanged:
        node(u"MAC CHANGE"_s, false);
        break;
    case ScanEventKind::SuspectFound:
        node(u"PROMISC SUSPECT"_s, true);
        break;
    case ScanEventKind::PromiscuousStarted:
        node(u"PROMISC START"_s, true);
        break;
    case ScanEventKind::VerdictReached: {
        const bool confirmed = event.verdict == ConfirmationVerdict::Confirmed;
        node(confirmed ? u"PROMISC CONFIRMED"_s : u"PROMISC FILTER-MATCH"_s, false);
        object.insert(u"verdict"_s, VerdictWord(event.verdict));
        object.insert(u"answered"_s, event.count);
        object.insert(u"probes"_s, ConfirmationProbeCount);
        break;
    }
    case ScanEventKind::PromiscuousStopped:
        node(u"PROMISC STOP"_s, true);
        break;
    case ScanEventKind::ResponseLost:
        node(u"OFF"_s, true);
        object.insert(u"frame"_s, FrameName(format));
        break;
    case ScanEventKind::TestAnswered:
        node(u"ON"_s, true);
        object.insert(u"frame"_s,
                      FrameName(event.mark.ieee ? FrameFormat::Ieee8023 : FrameFormat::Ethernet2));
        break;
    }
    // What the desktop program shows in its alert window, tray and
    // notifications.
    if (RaisesAlert(event.kind))
        object.insert(u"alert"_s, true);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace keelwatch
