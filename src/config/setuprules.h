#pragma once

#include <QString>
#include <QStringView>

namespace keelwatch {

// The range of a number setting and the value that stands for a text that
// is no number (or, unless clamped, one out of range).
struct NumberRule
{
    int low;
    int high;
    int fallback;
    // Out-of-range numbers go to the nearer end instead of the fallback.
    bool clamp;
};

inline constexpr NumberRule ScanTimerRule{1, 60, 5, false};
inline constexpr NumberRule PacketCountRule{1, 10, 3, false};
inline constexpr NumberRule NodeTimerRule{0, 60000, 500, true};
// Beyond what a gigabit card sends in 60-byte frames; 0 is off, and so is
// a text that is no number (a store written before pacing existed).
inline constexpr NumberRule SendRateRule{0, 1000000, 0, true};
// KiB of undelivered syslog messages kept on disk, and the longest RFC 5424
// message in bytes; a store without them gets the first-run values.
inline constexpr NumberRule SyslogSpoolRule{16, 65536, 1024, true};
inline constexpr NumberRule SyslogMessageRule{480, 65000, 2048, true};

// A number field's text, blanks around it dropped, read as an integer and
// forced into the rule's range: what the Setup dialog shows after the user leaves the field and
// what a stored text reads as.
int NumberFromText(const NumberRule &rule, QStringView text);

} // namespace keelwatch
