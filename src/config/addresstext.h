#pragma once

#include "config/netaddress.h"

#include <QString>

#include <functional>
#include <optional>

namespace keelwatch {

// Receives the text of a failure that the caller shows to the user (the GUI
// passes a sink that opens a message box).
using MessageSink = std::function<void(const QString &)>;

// The trimmed text when it is four dot-separated numbers from 0 to 255
// (blanks also separate fields, leading zeros stay), otherwise empty text.
QString ValidIpText(const QString &text);

// The address as a number, first octet most significant, or -1 for a text
// that ValidIpText refuses.
qint64 IpTextToNumber(const QString &text);

// "$" and two hex digits per octet ("$C0A80001"), or empty text after telling
// the sink "Wrong IP address.".
QString IpTextToHexText(const QString &text, const MessageSink &sink);

// Two hex digits and a blank per octet ("C0 A8 00 01 "), or empty text after
// telling the sink "IP Address Error".
QString IpTextToHexBytes(const QString &text, const MessageSink &sink);

// An own MAC text of exactly 17 characters with "-" or ":" or blanks between
// six bytes and no control character inside, its last digit set to 0 and
// returned as six upper-case two-digit bytes with blanks between them; empty
// text when invalid. Normalising the result gives the result.
QString NormalizeOwnMac(const QString &text);

// As NormalizeOwnMac for any length, keeping the last digit and the text as
// typed apart from upper case, blanks for "-" and ":", and no separator at
// either end; one-digit bytes stay one digit. Also idempotent.
QString NormalizeMac(const QString &text);

// The typed values behind the texts above: an address ValidIpText accepts;
// six bytes NormalizeMac accepts; an own MAC NormalizeOwnMac accepts that is
// no group address (the probes' source addresses must be a card's own).
std::optional<IpAddress> IpFromText(const QString &text);
std::optional<MacAddress> MacFromText(const QString &text);
std::optional<MacAddress> OwnMacFromText(const QString &text);

// Dotted decimal text of an address number, first octet most significant,
// without leading zeros.
QString IpNumberToText(quint32 address);

// The line-based reading behind the two hex conversions: the dots (and line
// breaks) split the text into lines, and there must be four, each an integer
// 0 to 255 with nothing else on the line.
std::optional<quint32> IpLinesToNumber(const QString &text);

} // namespace keelwatch
