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
// the reason; both give no content. A missing file is told to missingSink
// instead when one is given.
std::optional<QByteArray> ReadProgramFile(const QString &dir, const QString &name,
                                          const QString &missingText, const MessageSink &sink,
                                          const MessageSink &missingSink = {});

// Replaces the file at path by content: written aside and renamed into place
// only when every byte reached the disk, so a full disk or any other failure
// leaves the old file as it was. Only where the folder takes no new file but
// the file may be written is it rewritten in place (RewriteInPlace). Returns
// the system's reason, empty on success.
QString ReplaceFile(const QString &path, QByteArrayView content);

// Writes content over the file at path, which keeps its inode, owner and
// mode: the room for the new text is reserved first and the old text kept in
// memory, so a full disk or a failed write leaves the old file whole, never
// cut. Returns the system's reason, empty on success.
QString RewriteInPlace(const QString &path, QByteArrayView content);

// One line of a text file as the program shows it. Files written by older
// editors are often in a Windows code page: a line that is not valid UTF-8
// is read as CP1252 and marked legacy, so that a writer can put its own bytes
// back instead of a UTF-8 text that would change them.
struct DecodedLine
{
    QString text;
    QByteArrayView bytes; // the line in the file's content; null in a UTF-16 file
    bool legacy = false;
};

// The decoding of one line: UTF-8 when valid, otherwise CP1252 with the five
// bytes it leaves undefined taken as the control characters of the same code,
// so that distinct bytes always give distinct text.
DecodedLine DecodeLine(QByteArrayView bytes);

// The lines of a whole file, each decoded by DecodeLine; a file that begins
// with a UTF-16 byte order mark is read as UTF-16 instead, and a UTF-8 byte
// order mark is not part of the first line.
QList<DecodedLine> DecodeTextLines(QByteArrayView content);

} // namespace keelwatch
