#pragma once

#include "report/eventline.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace keelwatch {

// The structured-data element of every event. 32473 is the private
// enterprise number IANA reserves for documentation (RFC 5612); a registered
// number replaces it once the project has one.
inline constexpr char EventDataId[] = "keelwatch@32473";

// The RFC 5424 datagram of an event:
// "<PRI>1 TIMESTAMP HOSTNAME KEELWATCH PROCID MSGID [keelwatch@32473 ...] MSG".
// PRI is the one of the BSD form, MSGID the event words joined by "_", and
// the element carries time (as the event log writes it), ip, mac, test,
// event, vendor and comment, each only where the event has it. MSG is the
// text of the BSD form, UTF-8 with a byte order mark when it is not plain
// ASCII.
QByteArray Rfc5424Datagram(const SyslogEvent &event, const QByteArray &host, qint64 processId);

// "2004-01-05T14:03:27.000+01:00": local time with its offset from UTC.
QByteArray Rfc3339Timestamp(const QDateTime &when);

// A name gethostname gave, as the HOSTNAME field takes it: printable ASCII
// without blanks, at most 255 bytes, "-" when nothing is left.
QByteArray Rfc5424HostName(const QByteArray &reported);

// A structured-data parameter value: UTF-8 with '"', '\' and ']' escaped by
// a backslash.
QByteArray ParamValue(const QString &value);

} // namespace keelwatch
