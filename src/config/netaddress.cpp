#include "config/netaddress.h"

namespace keelwatch {

namespace {

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool IsMacSeparator(QChar c)
{
    return c == u':' || c == u'-' || c == u' ';
}

} // namespace

std::optional<IpAddress> IpAddress::FromText(QStringView text)
{
    std::uint32_t address = 0;
    int fields = 0;
    qsizetype i = 0;
    while (fields < 4) {
        int value = 0;
        int digits = 0;
        for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 128; ++i) {
            value = value * 10 + (text[i].unicode() - u'0');
            // Leading zeros may be many; the value alone must fit an octet.
            if (value > 255)
                return std::nullopt;
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
        address = address << 8 | std::uint32_t(value);
        ++fields;
        if (fields < 4) {
            if (i >= text.size() || text[i] != u'.')
                return std::nullopt;
            ++i;
        }
    }
    if (i != text.size())
        return std::nullopt;
    return FromIpv4(address);
}

QString IpAddress::ToText() const
{
    const std::uint32_t v = ToIpv4();
    // Built by hand: this runs for every node shown and every line written.
    char16_t buffer[16];
    int n = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned octet = (v >> shift) & 0xFF;
        if (octet >= 100)
            buffer[n++] = char16_t(u'0' + octet / 100);
        if (octet >= 10)
            buffer[n++] = char16_t(u'0' + octet / 10 % 10);
        buffer[n++] = char16_t(u'0' + octet % 10);
        if (shift > 0)
            buffer[n++] = u'.';
    }
    return QString(reinterpret_cast<const QChar *>(buffer), n);
}

std::optional<MacAddress> MacAddress::FromText(QStringView text)
{
    MacAddress mac;
    qsizetype i = 0;
    for (int b = 0; b < 6; ++b) {
        if (b > 0) {
            if (i >= text.size() || !IsMacSeparator(text[i]))
                return std::nullopt;
            ++i;
        }
        int value = 0;
        int digits = 0;
        for (; i < text.size() && digits < 2 && HexValue(text[i]) >= 0; ++i, ++digits)
            value = value * 16 + HexValue(text[i]);
        if (digits == 0)
            return std::nullopt;
        mac.bytes[size_t(b)] = std::uint8_t(value);
    }
    if (i != text.size())
        return std::nullopt;
    return mac;
}

QString MacAddress::ToText(QChar separator) const
{
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    QString text(17, separator);
    QChar *out = text.data();
    for (int b = 0; b < 6; ++b) {
        out[b * 3] = QChar(Digits[bytes[size_t(b)] >> 4]);
        out[b * 3 + 1] = QChar(Digits[bytes[size_t(b)] & 0xF]);
    }
    return text;
}

} // namespace keelwatch
