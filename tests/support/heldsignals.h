#pragma once

#include <QFile>
#include <QString>

#include <csignal>

namespace keelwatch {

// Whether the process has taken signal into its own hands, blocked or
// caught, as /proc tells: from then on the signal cannot kill it by the
// default action.
inline bool SignalTaken(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const quint64 bit = quint64(1) << (signal - 1);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (!line.startsWith("SigBlk:") && !line.startsWith("SigCgt:"))
            continue;
        bool ok = false;
        const quint64 mask = line.mid(7).trimmed().toULongLong(&ok, 16);
        if (ok && (mask & bit) != 0)
            return true;
    }
    return false;
}

} // namespace keelwatch
