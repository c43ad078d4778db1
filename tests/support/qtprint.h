#pragma once

#include <QByteArray>
#include <QString>

#include <ostream>

// Readable Qt texts in test failure messages (found by argument lookup, so
// they live beside QString in the global namespace).
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}
