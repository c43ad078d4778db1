#pragma once

#include <QStringView>

#include <optional>

namespace keelwatch {

// A whole text read as an integer: optional sign, then decimal digits, or hex
// digits after "$", "x" or "0x". Nothing else may stand in the text. Values
// beyond about 2^40 are refused, which no caller needs to tell apart.
std::optional<qint64> ParseInteger(QStringView text);

// Text made only of hex digits (at least one), read as a number.
std::optional<qint64> ParseHexDigits(QStringView text);

} // namespace keelwatch
