#pragma once

// What /proc tells of a process: its children, open descriptors, status
// lines and program.

#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace processinfo {

// The children of a process (this one without pid), from every thread's
// list.
inline QList<pid_t> Children(pid_t pid = 0)
{
    QList<pid_t> children;
    const QDir tasks(pid == 0 ? QStringLiteral("/proc/self/task")
                              : QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(tasks.filePath(task + QStringLiteral("/children")));
        if (!list.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &pid : list.readAll().split(' ')) {
            if (!pid.trimmed().isEmpty())
                children.append(pid_t(pid.trimmed().toInt()));
        }
    }
    return children;
}

// The program a process runs.
inline QString Program(pid_t pid)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
}

// The first child of this process that runs program.
inline std::optional<pid_t> ChildRunning(const QString &program)
{
    for (pid_t pid : Children()) {
        if (Program(pid) == program)
            return pid;
    }
    return std::nullopt;
}

// A process's open descriptors and what each refers to ("socket:[123]",
// "/dev/null").
inline QMap<int, QString> Descriptors(pid_t pid)
{
    QMap<int, QString> fds;
    const QDir dir(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : dir.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        char target[256] = {};
        const ssize_t length =
            readlink(dir.filePath(fd).toLocal8Bit().constData(), target, sizeof target - 1);
        fds.insert(fd.toInt(), QString::fromLocal8Bit(target, length < 0 ? 0 : length));
    }
    return fds;
}

// "0 -> /dev/null, 3 -> socket:[12]" for a failure message.
inline std::string Describe(const QMap<int, QString> &fds)
{
    QStringList parts;
    for (auto fd = fds.begin(); fd != fds.end(); ++fd)
        parts << QStringLiteral("%1 -> %2").arg(fd.key()).arg(fd.value());
    return parts.join(QStringLiteral(", ")).toStdString();
}

// A line of /proc/PID/status without its name, e.g. "0000000000000000" for
// "CapEff".
inline QString StatusField(pid_t pid, const QString &name)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray &line : status.readAll().split('\n')) {
        const QString text = QString::fromLatin1(line);
        if (text.startsWith(name + u':'))
            return text.mid(name.size() + 1).trimmed();
    }
    return QString();
}

// The capability sets of every thread of a process that are not empty, as
// "TID CapEff 00000000000003000"; empty when it holds none (or is gone).
inline QStringList HeldCapabilities(pid_t pid)
{
    QStringList held;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            const QString text = QString::fromLatin1(line);
            for (const char *set : {"CapEff:", "CapPrm:", "CapAmb:"}) {
                if (text.startsWith(QLatin1String(set)) &&
                    text.mid(7).trimmed() != QStringLiteral("0000000000000000"))
                    held << task + u' ' + text.simplified();
            }
        }
    }
    return held;
}

// Bytes of a process's memory mapped from sockets: its packet rings.
inline qint64 SocketMappingBytes(pid_t pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return 0;
    qint64 bytes = 0;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        if (!line.contains("socket:["))
            continue;
        const QList<QByteArray> range = line.left(line.indexOf(' ')).split('-');
        if (range.size() == 2)
            bytes += qint64(range[1].toULongLong(nullptr, 16) - range[0].toULongLong(nullptr, 16));
    }
    return bytes;
}

// Whether the process has ended (gone, or a zombie no one has reaped yet).
inline bool Ended(pid_t pid)
{
    const QString state = StatusField(pid, QStringLiteral("State"));
    return state.isEmpty() || state.startsWith(u'Z');
}

} // namespace processinfo
