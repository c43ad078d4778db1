#pragma once

#include <QDateTime>
#include <QString>

namespace keelwatch {

// "Jan" to "Dec" for months 1 to 12. The names are built in, so the system's
// regional settings never change what the log and syslog say.
QString EnglishMonth(int month);

// The date-and-time text of log lines and alert lines: "05/Jan/2004 14:03:27".
// Date and time are one word each, since the node viewer splits at blanks.
QString DateTimeText(const QDateTime &when);

} // namespace keelwatch
