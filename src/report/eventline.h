#pragma once

#include "config/settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace keelwatch {

// Syslog facility local4, times 8, and the severities of the forwarded
// events; a datagram's priority is their sum.
constexpr int LocalFacilityPriority = 160;
constexpr int SeverityAlert = 1;
constexpr int SeverityWarning = 4;
constexpr int SeverityInformational = 6;

// An event as syslog receives it: the text every format carries and, for
// formats with structured data, its fields one by one. Every member has an
// initialiser, so an event names only the fields it has; the others stay empty.
struct SyslogEvent
{
    QDateTime when{};
    // 0 when the event is not forwarded.
    int severity = 0;
    // "192.168.0.5 [00:11:22:33:44:55] PROMISC START", "START", ...
    QString text{};
    // The event words alone: "START", "PROMISC START", "NODE FOUND", ...
    QString event{};
    QString ip{};
    QString mac{};
    QString test{};
    QString vendor{};
    QString comment{};
    // "24/24": how many confirmation probes were answered; kept out of the
    // event words so that a collector can match them as a fixed text.
    QString answers{};
};

// One event as the log writes it.
struct EventLine
{
    // Fields joined by TAB; the start banner begins with CR LF.
    QString text;
    // Whether the event beeps when "Beep" is checked.
    bool beeps = false;
    // Without its time, which the writer adds.
    SyslogEvent syslog;
};

// The node fields of an event: the row's cells as the table holds them.
struct EventNode
{
    QString ip;
    QString mac;
    QString vendor;
    QString comment;
};

// The line of an event of this kind ("start", "cycle", "dropped", "mac",
// "SUSPECT", "UP", "DOWN", or a result mark), number and node at the time
// given by dateTime (a DateTimeText). The kind must not be empty.
EventLine BuildEventLine(const QString &kind, int number, const EventNode &node,
                         const Settings &settings, const QString &dateTime);

// The test name of a result column in mark lines ("Br" ... "S2"), "-" for any
// other column.
QString TestName(int column);

// The switched-on tests as four upper-case hexadecimal digits, the first test
// address (Br) as bit 0.
QString TestMaskText(const Settings &settings);

// The bytes of one file line: the line, CR LF, and every TAB replaced by the
// delimiter.
QByteArray EventFileText(const QString &line, QChar delimiter);

// A line of the promiscuous alert window:
// "05/Jan/2004 14:03:27 Promiscuous START 192.168.0.5".
QString PromiscuousAlertLine(const QDateTime &when, bool started, const QString &ip);

} // namespace keelwatch
