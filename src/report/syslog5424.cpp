#include "report/syslog5424.h"

#include "config/datetimetext.h"

#include <algorithm>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

constexpr qsizetype HostNameFieldLimit = 255;
constexpr qsizetype MessageIdLimit = 32;

bool IsPrintableAscii(char c)
{
    return c >= 33 && c <= 126;
}

// NILVALUE for fields the event does not have.
QByteArray HeaderField(QByteArray value, qsizetype limit)
{
    QByteArray field;
    for (const char c : std::as_const(value))
        if (IsPrintableAscii(c))
            field += c;
    field.truncate(limit);
    return field.isEmpty() ? QByteArrayLiteral("-") : field;
}

QByteArray TwoDigits(int n)
{
    return QByteArray::number(n).rightJustified(2, '0');
}

QByteArray Message(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80)
            return "\xEF\xBB\xBF" + utf8;
    return utf8;
}

struct Param
{
    const char *name;
    QString value;
};

std::vector<Param> EventParams(const SyslogEvent &event)
{
    return {
        {"time", event.when.isValid() ? DateTimeText(event.when) : QString()},
        {"ip", event.ip},
        {"mac", event.mac},
        {"test", event.test},
        {"event", event.event},
        {"answers", event.answers},
        {"vendor", event.vendor},
        {"comment", event.comment},
    };
}

QByteArray EventData(const std::vector<Param> &params)
{
    QByteArray data = QByteArray("[") + EventDataId;
    for (const auto &[name, value] : params)
        if (!value.isEmpty())
            data += ' ' + QByteArray(name) + "=\"" + ParamValue(value) + '"';
    return data + ']';
}

// The longest start of value whose escaped form takes at most maxBytes,
// never ending inside a character.
QString LeadingPart(const QString &value, qsizetype maxBytes)
{
    qsizetype used = 0;
    qsizetype end = 0;
    while (end < value.size()) {
        const qsizetype step = value[end].isHighSurrogate() && end + 1 < value.size() ? 2 : 1;
        const qsizetype bytes = ParamValue(value.mid(end, step)).size();
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        end += step;
    }
    return value.left(end);
}

// The header, then the structured data and the message.
QByteArray Assemble(const QByteArray &head, const std::vector<Param> &params, const QString &text)
{
    QByteArray datagram = head + EventData(params);
    if (!text.isEmpty())
        datagram += ' ' + Message(text);
    return datagram;
}

} // namespace

QByteArray Rfc3339Timestamp(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    const int offsetMinutes = when.offsetFromUtc() / 60;
    const int offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return QByteArray::number(date.year()).rightJustified(4, '0') + '-' + TwoDigits(date.month()) +
           '-' + TwoDigits(date.day()) + 'T' + TwoDigits(time.hour()) + ':' +
           TwoDigits(time.minute()) + ':' + TwoDigits(time.second()) + '.' +
           QByteArray::number(time.msec()).rightJustified(3, '0') +
           (offsetMinutes < 0 ? '-' : '+') + TwoDigits(offset / 60) + ':' + TwoDigits(offset % 60);
}

QByteArray Rfc5424HostName(const QByteArray &reported)
{
    return HeaderField(reported, HostNameFieldLimit);
}

QByteArray ParamValue(const QString &value)
{
    QByteArray escaped;
    for (const char c : value.toUtf8()) {
        if (c == '"' || c == '\\' || c == ']')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

QByteArray Rfc5424Datagram(const SyslogEvent &event, const QByteArray &host, qint64 processId,
                           int maxBytes)
{
    QByteArray messageId = event.event.toUtf8();
    messageId.replace(' ', '_');
    const QByteArray head = '<' + QByteArray::number(LocalFacilityPriority + event.severity) +
                            ">1 " + (event.when.isValid() ? Rfc3339Timestamp(event.when) : "-") +
                            ' ' + Rfc5424HostName(host) + " KEELWATCH " +
                            QByteArray::number(processId) + ' ' +
                            HeaderField(messageId, MessageIdLimit) + ' ';
    std::vector<Param> params = EventParams(event);
    QByteArray datagram = Assemble(head, params, event.text);
    // Free texts are what grows without bound: the comment gives way first,
    // then the vendor name, each keeping its start and a mark.
    for (const char *name : {"comment", "vendor"}) {
        if (datagram.size() <= maxBytes)
            return datagram;
        Param &param = *std::find_if(params.begin(), params.end(),
                                     [name](const Param &p) { return qstrcmp(p.name, name) == 0; });
        if (param.value.isEmpty())
            continue;
        const qsizetype room = ParamValue(param.value).size() - (datagram.size() - maxBytes) -
                               qsizetype(sizeof ShortenedMark - 1);
        param.value = LeadingPart(param.value, std::max<qsizetype>(room, 0)) +
                      QString::fromUtf8(ShortenedMark);
        datagram = Assemble(head, params, event.text);
    }
    // Only a very long host name leaves too little room: the message text
    // at the end gives way, cut where no character is split.
    while (datagram.size() > maxBytes) {
        datagram.chop(1);
        while (!datagram.isEmpty() && (static_cast<unsigned char>(datagram.back()) & 0xC0) == 0x80)
            datagram.chop(1);
        if (!datagram.isEmpty() && static_cast<unsigned char>(datagram.back()) >= 0xC0)
            datagram.chop(1);
    }
    return datagram;
}

} // namespace keelwatch
