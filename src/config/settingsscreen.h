#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

namespace keelwatch {

// Qt's INI reader decodes a value written as "@Variant(...)" or
// "@DateTime(...)" through a data stream that trusts the sizes it reads, so
// one damaged value can make it reserve gigabytes. Keelwatch stores only
// texts and numbers, so such a value is never its own; the lines that could
// hold one are taken out before the reader sees the file.
struct ScreenedSettings
{
    // The file without those lines, every other byte as it was.
    QByteArray kept;
    // Their keys as written ("Section/key" outside [General]), in file order.
    QStringList droppedKeys;
};

// Errs on the safe side: quotes, escapes, line continuations, list items and
// blanks cannot hide such a value. A line is dropped when any of its items
// might start like one; that includes a text that holds "@Variant(" right
// after a comma or an "=", which no setting of Keelwatch does.
ScreenedSettings ScreenSettingsText(QByteArrayView text);

} // namespace keelwatch
