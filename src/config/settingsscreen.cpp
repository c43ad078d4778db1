#include "config/settingsscreen.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace keelwatch {

namespace {

// Prefixes of the values the reader decodes through a data stream, lower
// case: letter case is ignored, which only drops more.
constexpr std::array<std::string_view, 2> StreamedPrefixes = {"@variant(", "@datetime("};
constexpr size_t LongestPrefix = 10;

bool IsLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

int DigitValue(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

char Lower(std::uint32_t code)
{
    // A numeric escape may name a character past 16 bits, which the reader
    // cuts to one; the low bits decide.
    code &= 0xffff;
    if (code >= 'A' && code <= 'Z')
        return char(code - 'A' + 'a');
    return code < 0x80 ? char(code) : '\x80';
}

// Raw characters looked at for one item's start. Hand-made text hiding a
// prefix behind more blanks, quotes and escapes than this is dropped too.
constexpr size_t ExaminedPerItem = 256;

// The first characters of the item that starts at pos, as the reader could
// see them: blanks and quotes before it skipped, quotes inside it dropped,
// escapes resolved and escaped line ends (continuations) skipped. Nothing
// when that takes more than ExaminedPerItem characters.
std::optional<std::string> DecodedStart(std::string_view line, size_t pos)
{
    const size_t stop = std::min(line.size(), pos + ExaminedPerItem);
    while (pos < stop && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '"'))
        ++pos;
    std::string decoded;
    while (decoded.size() < LongestPrefix) {
        if (pos == stop)
            return stop == line.size() ? std::optional(decoded) : std::nullopt;
        const char c = line[pos++];
        if (c == '"')
            continue;
        if (c != '\\' || pos == stop) {
            decoded += Lower(std::uint8_t(c));
            continue;
        }
        const char escaped = line[pos++];
        if (IsLineEnd(escaped)) {
            while (pos < stop && IsLineEnd(line[pos]))
                ++pos;
            continue;
        }
        const bool hex = escaped == 'x' || escaped == 'X';
        if (!hex && DigitValue(escaped, 8) < 0) {
            decoded += Lower(std::uint8_t(escaped));
            continue;
        }
        const int base = hex ? 16 : 8;
        std::uint32_t code = hex ? 0 : std::uint32_t(DigitValue(escaped, 8));
        for (int digit = 0; pos < stop && (digit = DigitValue(line[pos], base)) >= 0; ++pos)
            code = ((code * std::uint32_t(base)) + std::uint32_t(digit)) & 0xffffff;
        decoded += Lower(code);
    }
    return decoded;
}

bool MayHoldStreamedValue(std::string_view line)
{
    // Items start a line (a continued one may end early for the reader),
    // and follow "=" and the "," of a list; ";" and every "=" count as well,
    // so no start is missed.
    for (size_t pos = 0; pos < line.size(); ++pos) {
        if (pos > 0 && std::string_view("=,;\r\n").find(line[pos - 1]) == std::string_view::npos)
            continue;
        const std::optional<std::string> start = DecodedStart(line, pos);
        if (!start)
            return true;
        for (std::string_view prefix : StreamedPrefixes) {
            if (std::string_view(*start).starts_with(prefix))
                return true;
        }
    }
    return false;
}

// The end of the logical line that starts at pos: a line whose last
// character is a backslash goes on in the next one.
size_t LogicalLineEnd(std::string_view text, size_t pos)
{
    for (;;) {
        const size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            return text.size();
        size_t next = end + 1;
        if (text[end] == '\r' && next < text.size() && text[next] == '\n')
            ++next;
        if (end == pos || text[end - 1] != '\\')
            return next;
        pos = next;
    }
}

QString Trimmed(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size())).trimmed();
}

} // namespace

ScreenedSettings ScreenSettingsText(QByteArrayView text)
{
    const std::string_view all(text.data(), size_t(text.size()));
    ScreenedSettings screened;
    screened.kept.reserve(text.size());
    QString section;
    for (size_t pos = 0; pos < all.size();) {
        const size_t end = LogicalLineEnd(all, pos);
        const std::string_view line = all.substr(pos, end - pos);
        const QString trimmed = Trimmed(line);
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            section = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
            if (section.compare(u"General", Qt::CaseInsensitive) == 0)
                section.clear();
        }
        if (MayHoldStreamedValue(line)) {
            const QString key = Trimmed(line.substr(0, line.find('=')));
            screened.droppedKeys.append(section.isEmpty() ? key : section + u'/' + key);
        } else {
            screened.kept.append(line.data(), qsizetype(line.size()));
        }
        pos = end;
    }
    return screened;
}

} // namespace keelwatch
