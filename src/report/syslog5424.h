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
// PRI is the one of the BSD form, MSGID the event words joined by "_" (a
// fixed text per kind of event), and the element carries time (as the event
// log writes it), ip, mac, test, event, answers, vendor and comment, each
// only where the event has it. MSG is the text of the BSD form, UTF-8 with a
// byte order mark when it is not plain ASCII. A message longer than maxBytes
// has its comment, then its vendor, shortened to fit, each ending in
// ShortenedMark.
QByteArray Rfc5424Datagram(const SyslogEvent &event, const QByteArray &host, qint64 processId,
                           int maxBytes = 2048);

// What a shortened parameter value ends with: "…" in UTF-8.
inline constexpr char ShortenedMark[] = "\xE2\x80\xA6";

// "2004-01-05T14:03:27.000+01:00": local time with its offset from UTC.
QByteArray Rfc3339Timestamp(const QDateTime &when);

// A name gethostname gave, as the HOSTNAME field takes it: printable ASCII
// without blanks, at most 255 bytes, "-" when nothing is left.
QByteArray Rfc5424HostName(const QByteArray &reported);

// A structured-data parameter value: UTF-8 with '"', '\' and ']' escaped by
// a backslash.
QByteArray ParamValue(const QString &value);

} // namespace keelwatch
