#include "report/syslog5424.h"

#include "config/datetimetext.h"

#include <utility>

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

QByteArray EventData(const SyslogEvent &event)
{
    const std::pair<const char *, QString> params[] = {
        {"time", event.when.isValid() ? DateTimeText(event.when) : QString()},
        {"ip", event.ip},
        {"mac", event.mac},
        {"test", event.test},
        {"event", event.event},
        {"vendor", event.vendor},
        {"comment", event.comment},
    };
    QByteArray data = QByteArray("[") + EventDataId;
    for (const auto &[name, value] : params)
        if (!value.isEmpty())
            data += ' ' + QByteArray(name) + "=\"" + ParamValue(value) + '"';
    return data + ']';
}

QByteArray Message(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80)
            return "\xEF\xBB\xBF" + utf8;
    return utf8;
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

QByteArray Rfc5424Datagram(const SyslogEvent &event, const QByteArray &host, qint64 processId)
{
    QByteArray messageId = event.event.toUtf8();
    messageId.replace(' ', '_');
    QByteArray datagram = '<' + QByteArray::number(LocalFacilityPriority + event.severity) + ">1 " +
                          (event.when.isValid() ? Rfc3339Timestamp(event.when) : "-") + ' ' +
                          Rfc5424HostName(host) + " KEELWATCH " + QByteArray::number(processId) +
                          ' ' + HeaderField(messageId, MessageIdLimit) + ' ' + EventData(event);
    if (!event.text.isEmpty())
        datagram += ' ' + Message(event.text);
    return datagram;
}

} // namespace keelwatch
