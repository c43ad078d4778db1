#include "report/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// CP1252 at 0x80 to 0x9F; the five undefined codes stay as they are.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = QChar(byte >= 0x80 && byte < 0xA0 ? Cp1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

QList<DecodedLine> DecodeUtf16Lines(QByteArrayView content, QStringDecoder::Encoding encoding)
{
    QStringDecoder decoder(encoding);
    const QString text = decoder.decode(content);
    QList<DecodedLine> lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        lines.append({text.sliced(pos, end - pos), QByteArrayView(), false});
        pos = end + 1;
        if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n')
            ++pos;
    }
    return lines;
}

} // namespace

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
                                          const QString &missingText, const MessageSink &sink,
                                          const MessageSink &missingSink)
{
    const QString path = QDir(dir).filePath(name);
    if (!QFile::exists(path)) {
        (missingSink ? missingSink : sink)(missingText);
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

QString ReplaceFile(const QString &path, QByteArrayView content)
{
    // Unbuffered, a write that stops part-way on a full disk returns its
    // short count here instead of vanishing in a buffer that commit ignores.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // A writable file in a folder that takes no new files (a shared
        // comment.txt an administrator opened up) can only be written in place.
        if (QFileInfo(path).isFile())
            return RewriteInPlace(path, content);
        return file.errorString();
    }
    qsizetype done = 0;
    while (done < content.size()) {
        const qint64 written = file.write(content.data() + done, content.size() - done);
        if (written <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
        done += written;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

QString RewriteInPlace(const QString &path, QByteArrayView content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return file.errorString();
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    const int fd = file.handle();
    const auto reason = [](int error) { return QString::fromLocal8Bit(std::strerror(error)); };
    // Every block the new text needs is taken before a byte changes: a full
    // disk refuses here, with the old file still whole.
    const qint64 needed = std::max<qint64>(old.size(), content.size());
    if (needed > 0) {
        if (const int error = ::posix_fallocate(fd, 0, needed); error != 0)
            return reason(error);
    }
    const auto writeAll = [fd](QByteArrayView bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t written =
                ::pwrite(fd, bytes.data() + done, size_t(bytes.size() - done), done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            done += written;
        }
        return true;
    };
    if (!writeAll(content)) {
        const int error = errno;
        // The old text goes back into the blocks it had; a file that cannot
        // be cut back to it is said to be damaged.
        if (writeAll(old) && ::ftruncate(fd, old.size()) == 0)
            return reason(error);
        return reason(error) + u" The old text could not be put back whole."_s;
    }
    if (::ftruncate(fd, content.size()) != 0 || ::fsync(fd) != 0)
        return reason(errno);
    return QString();
}

DecodedLine DecodeLine(QByteArrayView bytes)
{
    // A byte order mark inside the file is text like any other, and a
    // sequence cut off by the line's end is no UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return {text, bytes, false};
    return {DecodeCp1252(bytes), bytes, true};
}

QList<DecodedLine> DecodeTextLines(QByteArrayView content)
{
    if (content.startsWith("\xFF\xFE"))
        return DecodeUtf16Lines(content.sliced(2), QStringDecoder::Utf16LE);
    if (content.startsWith("\xFE\xFF"))
        return DecodeUtf16Lines(content.sliced(2), QStringDecoder::Utf16BE);
    if (content.startsWith("\xEF\xBB\xBF"))
        content = content.sliced(3);
    QList<DecodedLine> lines;
    for (const QByteArrayView bytes : TextLines(content))
        lines.append(DecodeLine(bytes));
    return lines;
}

} // namespace keelwatch
