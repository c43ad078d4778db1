#include "config/addresstext.h"

#include "config/fieldsplit.h"
#include "config/integertext.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// A field that is not a number counts as this, which is out of every range.
constexpr qint64 NotANumber = 300;

qint64 IpFieldNumber(QStringView field)
{
    return ParseInteger(field).value_or(NotANumber);
}

qint64 MacFieldNumber(QStringView field)
{
    return ParseHexDigits(field).value_or(NotANumber);
}

bool InOctetRange(qint64 v)
{
    return v >= 0 && v <= 255;
}

// The four octets of a valid IP text, or false.
bool IpOctets(const QString &trimmed, qint64 (&octets)[4])
{
    const QStringList fields = SplitFields(trimmed, u'.');
    if (fields.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        octets[i] = IpFieldNumber(fields[i]);
        if (!InOctetRange(octets[i]))
            return false;
    }
    return true;
}

// Every dot becomes a line break and the text is split into lines: a break at
// the very end adds no empty line.
QStringList DotLines(QString text)
{
    text.replace(u'.', u'\n').replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString HexByte(int value)
{
    return u"%1"_s.arg(value, 2, 16, QChar(u'0')).toUpper();
}

// The six byte fields of a MAC text, or none. Only blanks, "-" and ":"
// separate bytes: a control character inside the text makes it invalid, so
// what is accepted comes back the same from a second normalising.
std::optional<QStringList> MacFields(QString &text)
{
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 32; }))
        return std::nullopt;
    // A leading or trailing separator would come back as a blank that the
    // next normalising trims away.
    text = TrimControls(text.replace(u'-', u' ').replace(u':', u' '));
    QStringList fields = SplitFields(text, u' ');
    if (fields.size() != 6)
        return std::nullopt;
    for (const QString &f : fields) {
        if (!InOctetRange(MacFieldNumber(f)))
            return std::nullopt;
    }
    return fields;
}

QString UpperAsciiLetters(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return text;
}

} // namespace

QString ValidIpText(const QString &text)
{
    const QString trimmed = TrimControls(text);
    qint64 octets[4];
    return IpOctets(trimmed, octets) ? trimmed : QString();
}

qint64 IpTextToNumber(const QString &text)
{
    qint64 octets[4];
    if (!IpOctets(TrimControls(text), octets))
        return -1;
    return (octets[0] << 24) + (octets[1] << 16) + (octets[2] << 8) + octets[3];
}

std::optional<quint32> IpLinesToNumber(const QString &text)
{
    const QStringList lines = DotLines(text);
    if (lines.size() != 4)
        return std::nullopt;
    quint32 address = 0;
    for (const QString &line : lines) {
        const qint64 octet = IpFieldNumber(line);
        if (!InOctetRange(octet))
            return std::nullopt;
        address = (address << 8) | quint32(octet);
    }
    return address;
}

QString IpNumberToText(quint32 address)
{
    return u"%1.%2.%3.%4"_s.arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

QString IpTextToHexText(const QString &text, const MessageSink &sink)
{
    const auto address = IpLinesToNumber(text);
    if (!address) {
        if (sink)
            sink(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "Wrong IP address.")));
        return QString();
    }
    return u"$"_s + u"%1"_s.arg(*address, 8, 16, QChar(u'0')).toUpper();
}

QString IpTextToHexBytes(const QString &text, const MessageSink &sink)
{
    const auto address = IpLinesToNumber(text);
    if (!address) {
        if (sink)
            sink(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "IP Address Error")));
        return QString();
    }
    QString out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out += HexByte(int((*address >> shift) & 0xFF)) + u' ';
    return out;
}

QString NormalizeOwnMac(const QString &text)
{
    QString mac = UpperAsciiLetters(TrimControls(text));
    if (mac.size() != 17)
        return QString();
    mac[16] = u'0';
    const auto fields = MacFields(mac);
    if (!fields)
        return QString();
    // Probes take their source addresses from the 17th character and replies
    // are recognised in this form, so the own MAC is always written in it.
    QString canonical;
    for (const QString &f : *fields)
        canonical += HexByte(int(MacFieldNumber(f))) + u' ';
    canonical.chop(1);
    return canonical;
}

QString NormalizeMac(const QString &text)
{
    QString mac = UpperAsciiLetters(TrimControls(text));
    return MacFields(mac) ? mac : QString();
}

std::optional<IpAddress> IpFromText(const QString &text)
{
    const qint64 address = IpTextToNumber(text);
    if (address < 0)
        return std::nullopt;
    return IpAddress::FromIpv4(quint32(address));
}

std::optional<MacAddress> MacFromText(const QString &text)
{
    QString mac = TrimControls(text);
    const std::optional<QStringList> fields = MacFields(mac);
    if (!fields)
        return std::nullopt;
    MacAddress bytes;
    for (size_t i = 0; i < bytes.bytes.size(); ++i)
        bytes.bytes[i] = std::uint8_t(MacFieldNumber((*fields)[qsizetype(i)]));
    return bytes;
}

std::optional<MacAddress> OwnMacFromText(const QString &text)
{
    const std::optional<MacAddress> mac = MacFromText(NormalizeOwnMac(text));
    if (!mac || mac->IsGroup())
        return std::nullopt;
    return mac;
}

} // namespace keelwatch
