#include "report/eventline.h"

#include "config/datetimetext.h"
#include "scan/confirmationprobes.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QString Tab = u"\t"_s;

QString Bracketed(const QString &mac)
{
    return u"["_s + mac + u"]"_s;
}

// A node's fields as lines and messages show them.
struct NodeTexts
{
    QString ip;
    QString mac;
    const QString &vendor;
    const QString &comment;

    explicit NodeTexts(const Node &node)
        : ip(node.ip.ToText()), mac(node.mac.ToText()), vendor(node.vendor), comment(node.comment)
    {
    }
};

// "datetime IP [MAC]" followed by the event's own fields, TAB between all.
QString NodeLine(const QString &dateTime, const NodeTexts &node, const QStringList &fields)
{
    return (QStringList{dateTime, node.ip, Bracketed(node.mac)} + fields).join(Tab);
}

SyslogEvent NodeSyslogEvent(const NodeTexts &node, int severity, const QString &words,
                            const QString &test = QString())
{
    return SyslogEvent{.severity = severity,
                       .text = node.ip + u" "_s + Bracketed(node.mac) + u" "_s + words,
                       .event = words,
                       .ip = node.ip,
                       .mac = node.mac,
                       .test = test,
                       .vendor = node.vendor,
                       .comment = node.comment};
}

EventLine NodeEvent(const QString &dateTime, const NodeTexts &node, const QString &first,
                    const QString &second, const QString &last, int severity)
{
    return EventLine{NodeLine(dateTime, node, {first, second, last}), true,
                     NodeSyslogEvent(node, severity, first + u" "_s + second)};
}

// A test answered afresh ("ON", in the frames of its answer) or lost ("OFF",
// in the scan's frame format).
EventLine MarkEvent(bool answered, bool ieee, int column, const NodeTexts &node,
                    const QString &dateTime)
{
    const QStringList fields{TestName(column), answered ? u"ON"_s : u"OFF"_s,
                             ieee ? u"ieee802.3"_s : u"ethernet"_s};
    // Answers a card in normal mode gives (Br, M1) do not beep.
    const TestAddress *test = TestOfColumn(column);
    EventLine line{NodeLine(dateTime, node, fields), !test || !test->correct, SyslogEvent()};
    if (column == BroadcastColumn)
        line.syslog =
            NodeSyslogEvent(node, SeverityInformational,
                            answered ? u"NODE FOUND"_s : u"NODE LOST"_s, TestName(column));
    return line;
}

} // namespace

QString TestName(int column)
{
    const TestAddress *test = TestOfColumn(column);
    return test ? QString::fromUtf16(test->shortName) : u"-"_s;
}

QString TestMaskText(const Settings &settings)
{
    unsigned mask = 0;
    for (size_t i = 0; i < settings.tests.size(); ++i)
        if (settings.tests[i])
            mask |= 1u << i;
    return u"%1"_s.arg(mask, 4, 16, QChar(u'0')).toUpper();
}

EventLine BuildEventLine(const ScanEvent &event, const Settings &settings, const QString &dateTime)
{
    const NodeTexts node(event.node);
    switch (event.kind) {
    case ScanEventKind::ScanStarted: {
        const QString banner =
            QStringList{u"\r\n### START Keelwatch"_s, TestMaskText(settings), dateTime,
                        settings.from + u"-"_s + settings.to + u" ###"_s}
                .join(Tab);
        return EventLine{banner, false,
                         SyslogEvent{.severity = SeverityInformational,
                                     .text = u"START"_s,
                                     .event = u"START"_s}};
    }
    case ScanEventKind::CycleEnded:
        return EventLine{
            QStringList{u"#Cyclic_Count"_s, QString::number(event.count), dateTime}.join(Tab),
            false, SyslogEvent()};
    case ScanEventKind::FramesDropped:
        // In the cycle line's shape, so log readers pass over it as they do
        // over any other "#" line.
        return EventLine{
            QStringList{u"#Dropped_Frames"_s, QString::number(event.count), dateTime}.join(Tab),
            false, SyslogEvent()};
    case ScanEventKind::MacChanged:
        return NodeEvent(dateTime, node, u"MAC"_s, u"CHANGE"_s, u"-"_s, SeverityWarning);
    case ScanEventKind::TestAnswered:
        return MarkEvent(true, event.mark.ieee, event.column, node, dateTime);
    case ScanEventKind::ResponseLost:
        return MarkEvent(false, settings.format == FrameFormat::Ieee8023, event.column, node,
                         dateTime);
    case ScanEventKind::SuspectFound:
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"SUSPECT"_s, QString(), SeverityWarning);
    case ScanEventKind::PromiscuousStarted:
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"START"_s, QString(), SeverityAlert);
    case ScanEventKind::FilterMatchStarted: {
        // The start line as it is, without the beep and the alert severity
        // of a sniffer.
        EventLine line =
            NodeEvent(dateTime, node, u"PROMISC"_s, u"START"_s, QString(), SeverityWarning);
        line.beeps = false;
        return line;
    }
    case ScanEventKind::PromiscuousStopped:
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"STOP"_s, QString(), SeverityAlert);
    case ScanEventKind::VerdictReached:
        break;
    }
    const QString answered = u"%1/%2"_s.arg(event.count).arg(ConfirmationProbeCount);
    const bool confirmed = event.verdict == ConfirmationVerdict::Confirmed;
    const QString word = confirmed ? u"CONFIRMED"_s : u"FILTER-MATCH"_s;
    return EventLine{NodeLine(dateTime, node, {u"PROMISC"_s, word, answered}), false,
                     NodeSyslogEvent(node, confirmed ? SeverityAlert : SeverityInformational,
                                     u"PROMISC "_s + word + u" "_s + answered)};
}

QByteArray EventFileText(const QString &line, QChar delimiter)
{
    QString text = line + u"\r\n"_s;
    if (delimiter != u'\t')
        text.replace(u'\t', delimiter);
    return text.toUtf8();
}

QString PromiscuousAlertLine(const QDateTime &when, bool started, const QString &ip)
{
    return DateTimeText(when) + (started ? u" Promiscuous START "_s : u" Promiscuous STOP "_s) + ip;
}

} // namespace keelwatch
