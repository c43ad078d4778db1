#include "config/integertext.h"

namespace keelwatch {

namespace {

constexpr qint64 Limit = qint64(1) << 40;

std::optional<qint64> ParseDigits(QStringView digits, int base)
{
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        int d = 0;
        if (u >= u'0' && u <= u'9')
            d = u - u'0';
        else if (u >= u'A' && u <= u'F')
            d = u - u'A' + 10;
        else if (u >= u'a' && u <= u'f')
            d = u - u'a' + 10;
        else
            return std::nullopt;
        if (d >= base)
            return std::nullopt;
        value = value * base + d;
        if (value > Limit)
            return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<qint64> ParseInteger(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        text = text.mid(1);
    }
    std::optional<qint64> value;
    if (text.startsWith(u'$') || text.startsWith(u'x', Qt::CaseInsensitive))
        value = ParseDigits(text.mid(1), 16);
    else if (text.startsWith(u"0x", Qt::CaseInsensitive))
        value = ParseDigits(text.mid(2), 16);
    else
        value = ParseDigits(text, 10);
    if (value && negative)
        *value = -*value;
    return value;
}

std::optional<qint64> ParseHexDigits(QStringView text)
{
    return ParseDigits(text, 16);
}

} // namespace keelwatch
