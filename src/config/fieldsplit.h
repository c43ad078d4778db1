#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace keelwatch {

// Splits text into fields the way every address text, node list line and log
// line of the program is read: leading blanks and control characters are
// skipped, a field ends at a character of code 0 to 32 or at the delimiter,
// a field that starts with a double quote runs to the closing quote (a doubled
// quote stands for one), and a delimiter that is the last character adds one
// empty field. So blanks separate fields too, and a TAB used as delimiter acts
// like a blank.
QStringList SplitFields(QStringView text, QChar delimiter);

// Removes characters of code 0 to 32 from both ends.
QString TrimControls(QStringView text);

} // namespace keelwatch
