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

// "datetime IP [MAC]" followed by the event's own fields, TAB between all.
QString NodeLine(const QString &dateTime, const EventNode &node, const QStringList &fields)
{
    return (QStringList{dateTime, node.ip, Bracketed(node.mac)} + fields).join(Tab);
}

SyslogEvent NodeSyslogEvent(const EventNode &node, int severity, const QString &words,
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

EventLine NodeEvent(const QString &dateTime, const EventNode &node, const QString &first,
                    const QString &second, const QString &last, int severity)
{
    return EventLine{NodeLine(dateTime, node, {first, second, last}), true,
                     NodeSyslogEvent(node, severity, first + u" "_s + second)};
}

EventLine MarkEvent(QString mark, int column, const EventNode &node, const Settings &settings,
                    const QString &dateTime)
{
    if (mark == u"O"_s)
        mark = u"X"_s;
    else if (mark == u"o"_s)
        mark = u"x"_s;

    QStringList fields{TestName(column)};
    if (mark == u"X"_s)
        fields << u"ON"_s << u"ethernet"_s;
    else if (mark == u"x"_s)
        fields << u"ON"_s << u"ieee802.3"_s;
    else if (mark == u"+"_s)
        fields << u"OFF"_s
               << (settings.format == FrameFormat::Ethernet2 ? u"ethernet"_s : u"ieee802.3"_s);
    else
        fields << QString(); // an unknown mark ends the line after the test name

    // Answers a card in normal mode gives (Br, M1) do not beep.
    const TestAddress *test = TestOfColumn(column);
    EventLine line{NodeLine(dateTime, node, fields), !test || !test->correct, SyslogEvent()};
    if (column == BroadcastColumn)
        line.syslog = NodeSyslogEvent(node, SeverityInformational,
                                      mark.toUpper() == u"X"_s ? u"NODE FOUND"_s : u"NODE LOST"_s,
                                      TestName(column));
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

EventLine BuildEventLine(const QString &kind, int number, const EventNode &node,
                         const Settings &settings, const QString &dateTime)
{
    if (kind == u"start"_s) {
        const QString banner =
            QStringList{u"\r\n### START Keelwatch"_s, TestMaskText(settings), dateTime,
                        settings.from + u"-"_s + settings.to + u" ###"_s}
                .join(Tab);
        return EventLine{banner, false,
                         SyslogEvent{.severity = SeverityInformational,
                                     .text = u"START"_s,
                                     .event = u"START"_s}};
    }
    if (kind == u"cycle"_s)
        return EventLine{
            QStringList{u"#Cyclic_Count"_s, QString::number(number), dateTime}.join(Tab), false,
            SyslogEvent()};
    if (kind == u"dropped"_s)
        // In the cycle line's shape, so log readers pass over it as they do
        // over any other "#" line.
        return EventLine{
            QStringList{u"#Dropped_Frames"_s, QString::number(number), dateTime}.join(Tab), false,
            SyslogEvent()};
    if (kind == u"mac"_s)
        return NodeEvent(dateTime, node, u"MAC"_s, u"CHANGE"_s, u"-"_s, SeverityWarning);
    if (kind == u"SUSPECT"_s)
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"SUSPECT"_s, QString(), SeverityWarning);
    if (kind == u"UP"_s)
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"START"_s, QString(), SeverityAlert);
    if (kind == u"UP-FILTER-MATCH"_s) {
        // The UP line as it is, without the beep and the alert severity of
        // a sniffer.
        EventLine line =
            NodeEvent(dateTime, node, u"PROMISC"_s, u"START"_s, QString(), SeverityWarning);
        line.beeps = false;
        return line;
    }
    if (kind == u"CONFIRMED"_s || kind == u"FILTER-MATCH"_s) {
        const QString answered = u"%1/%2"_s.arg(number).arg(ConfirmationProbeCount);
        const bool confirmed = kind == u"CONFIRMED"_s;
        SyslogEvent forwarded = NodeSyslogEvent(
            node, confirmed ? SeverityAlert : SeverityInformational, u"PROMISC "_s + kind);
        forwarded.text += u" "_s + answered;
        forwarded.answers = answered;
        return EventLine{NodeLine(dateTime, node, {u"PROMISC"_s, kind, answered}), false,
                         forwarded};
    }
    if (kind == u"DOWN"_s)
        return NodeEvent(dateTime, node, u"PROMISC"_s, u"STOP"_s, QString(), SeverityAlert);
    return MarkEvent(kind, number, node, settings, dateTime);
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
