#pragma once

#include "config/addresstext.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace keelwatch {

// The lines of a text file, without their ends. A line ends at CR LF, LF or
// CR; a line end at the very end adds no empty line.
QList<QByteArrayView> TextLines(QByteArrayView text);

// The whole content of a file, or the system's reason why it cannot be read
// in *error (content empty).
QByteArray ReadWholeFile(const QString &path, QString *error);

// The content of the file name in dir (the program's folder). A missing file
// tells the sink missingText, an unreadable one "Cannot read " name "." and
// the reason; both give no content.
std::optional<QByteArray> ReadProgramFile(const QString &dir, const QString &name,
                                          const QString &missingText, const MessageSink &sink);

} // namespace keelwatch
