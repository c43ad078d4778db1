#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace keelwatch {

// The lines of a text file, without their ends. A line ends at CR LF, LF or
// CR; a line end at the very end adds no empty line.
QList<QByteArrayView> TextLines(QByteArrayView text);

// The whole content of a file, or the system's reason why it cannot be read
// in *error (content empty).
QByteArray ReadWholeFile(const QString &path, QString *error);

} // namespace keelwatch
