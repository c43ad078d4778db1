#include "report/syslogspool.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// "KWSPOOL1", then the offset of the oldest kept record, the number of
// dropped messages and the times of the first and last of them, each eight
// bytes big-endian. A record is its length (four bytes), its time (eight)
// and the message.
constexpr char Magic[] = "KWSPOOL1";
constexpr qint64 HeaderSize = 40;
constexpr qint64 RecordHead = 12;

void PutNumber(QByteArray &to, qint64 value)
{
    char bytes[8];
    qToBigEndian(value, bytes);
    to.append(bytes, 8);
}

qint64 NumberAt(const QByteArray &from, qint64 at)
{
    return qFromBigEndian<qint64>(from.constData() + at);
}

QByteArray RecordBytes(const QByteArray &message, qint64 whenMSecs)
{
    QByteArray record;
    char length[4];
    qToBigEndian(quint32(message.size()), length);
    record.append(length, 4);
    PutNumber(record, whenMSecs);
    return record + message;
}

} // namespace

SyslogSpool::SyslogSpool(const QString &path, qint64 limitBytes)
    : file(path), limitBytes(limitBytes)
{
}

SyslogSpool::~SyslogSpool()
{
    // An empty spool leaves no file behind.
    if (mirrored && messages.empty() && dropped.count == 0)
        file.remove();
}

QString SyslogSpool::Open()
{
    QFileInfo(file).dir().mkpath(u"."_s);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return file.errorString();
    // Two programs sending to the same server would deliver each other's
    // messages twice.
    if (::flock(file.handle(), LOCK_EX | LOCK_NB) != 0) {
        file.close();
        return u"in use by another Keelwatch"_s;
    }
    const QByteArray content = file.readAll();
    if (!content.isEmpty() && !Load(content)) {
        messages.clear();
        bytes = 0;
        dropped = Dropped();
    }
    mirrored = true;
    // Rewritten from what was understood: a damaged tail goes, and the file
    // starts small again.
    Compact();
    return mirrored ? QString() : std::exchange(fileError, QString());
}

bool SyslogSpool::Load(const QByteArray &content)
{
    if (content.size() < HeaderSize || !content.startsWith(Magic))
        return false;
    qint64 at = NumberAt(content, 8);
    dropped = {NumberAt(content, 16), NumberAt(content, 24), NumberAt(content, 32)};
    if (at < HeaderSize || at > content.size() || dropped.count < 0)
        return false;
    while (at + RecordHead <= content.size()) {
        const qint64 length = qFromBigEndian<quint32>(content.constData() + at);
        if (at + RecordHead + length > content.size())
            break; // cut by a crash while it was written
        Append(content.mid(at + RecordHead, length), NumberAt(content, at + 4));
        at += RecordHead + length;
    }
    return true;
}

void SyslogSpool::Append(const QByteArray &message, qint64 whenMSecs)
{
    messages.push_back({message, whenMSecs});
    bytes += message.size();
    if (mirrored)
        WriteRecord(messages.back());
    while (bytes > limitBytes && !messages.empty())
        DropOldest();
    if (mirrored)
        WriteHeader();
}

void SyslogSpool::DropOldest()
{
    const Message &oldest = messages.front();
    if (dropped.count++ == 0)
        dropped.firstMSecs = oldest.whenMSecs;
    dropped.lastMSecs = oldest.whenMSecs;
    RemoveDelivered(1);
}

void SyslogSpool::RemoveDelivered(qsizetype count)
{
    for (qsizetype i = 0; i < count && !messages.empty(); ++i) {
        headOffset += RecordHead + messages.front().bytes.size();
        bytes -= messages.front().bytes.size();
        messages.pop_front();
    }
    if (!mirrored)
        return;
    // The delivered records are skipped by the header until they take as
    // much room as the spool may hold; then the file is written anew.
    if (headOffset - HeaderSize > std::max<qint64>(limitBytes, 65536))
        Compact();
    else
        WriteHeader();
}

void SyslogSpool::ForgetDropped(qint64 count)
{
    dropped.count = std::max<qint64>(dropped.count - count, 0);
    if (mirrored)
        WriteHeader();
}

void SyslogSpool::WriteHeader()
{
    QByteArray header(Magic, 8);
    PutNumber(header, headOffset);
    PutNumber(header, dropped.count);
    PutNumber(header, dropped.firstMSecs);
    PutNumber(header, dropped.lastMSecs);
    if (::pwrite(file.handle(), header.constData(), size_t(header.size()), 0) != header.size())
        FileFailed();
}

void SyslogSpool::WriteRecord(const Message &message)
{
    const QByteArray record = RecordBytes(message.bytes, message.whenMSecs);
    if (::pwrite(file.handle(), record.constData(), size_t(record.size()), tailOffset) !=
        record.size()) {
        FileFailed();
        return;
    }
    tailOffset += record.size();
}

void SyslogSpool::Compact()
{
    headOffset = HeaderSize;
    QByteArray content(Magic, 8);
    PutNumber(content, headOffset);
    PutNumber(content, dropped.count);
    PutNumber(content, dropped.firstMSecs);
    PutNumber(content, dropped.lastMSecs);
    for (const Message &message : messages)
        content += RecordBytes(message.bytes, message.whenMSecs);
    // The kept records move to the front: the file only shrinks, so a full
    // disk cannot stop this.
    const bool written =
        ::pwrite(file.handle(), content.constData(), size_t(content.size()), 0) == content.size();
    if (!written || ::ftruncate(file.handle(), content.size()) != 0) {
        FileFailed();
        return;
    }
    tailOffset = content.size();
}

void SyslogSpool::FileFailed()
{
    fileError = u"%1: %2"_s.arg(file.fileName(), QString::fromLocal8Bit(std::strerror(errno)));
    mirrored = false;
    file.close();
}

} // namespace keelwatch
