#pragma once

#include <QByteArray>

namespace keelwatch {

// The longest host name a syslog datagram carries.
constexpr int HostNameLimit = 15;

// This computer's name as gethostname gives it, empty when it cannot be read.
QByteArray SystemHostName();

// This computer's name as the system reports it, without a domain part and cut
// to HostNameLimit bytes, or "unknown" when it cannot be read.
QByteArray LocalHostName();

// The same rule applied to a name as gethostname gave it.
QByteArray ShortHostName(const QByteArray &reported);

} // namespace keelwatch
