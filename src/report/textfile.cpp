#include "report/textfile.h"

#include <QFile>

namespace keelwatch {

QList<QByteArrayView> TextLines(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        lines.append(text.sliced(pos, end - pos));
        pos = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++pos;
    }
    return lines;
}

QByteArray ReadWholeFile(const QString &path, QString *error)
{
    error->clear();
    QFile file(path);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly))
        content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        content.clear();
    }
    return content;
}

} // namespace keelwatch
