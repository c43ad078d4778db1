#include "report/textfile.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

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

std::optional<QByteArray> ReadProgramFile(const QString &dir, const QString &name,
                                          const QString &missingText, const MessageSink &sink)
{
    const QString path = QDir(dir).filePath(name);
    if (!QFile::exists(path)) {
        sink(missingText);
        return std::nullopt;
    }
    QString error;
    QByteArray content = ReadWholeFile(path, &error);
    if (!error.isEmpty()) {
        sink(u"Cannot read %1.\n%2"_s.arg(name, error));
        return std::nullopt;
    }
    return content;
}

} // namespace keelwatch
