#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>

namespace keelwatch {

// The longest time the event loop could not run, as a user sees a frozen
// window: a 1 ms heartbeat notes the largest gap between two of its runs.
class StallMeter
{
  public:
    StallMeter()
    {
        beat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&beat, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
    }
    void Start()
    {
        clock.start();
        last = 0;
        longest = 0;
        beat.start(1);
    }
    double LongestMs()
    {
        beat.stop();
        const qint64 now = clock.nsecsElapsed();
        return double(std::max(longest, now - last)) / 1e6;
    }

  private:
    QTimer beat;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};

// A field of /proc/self/status in kilobytes ("VmRSS:", "VmHWM:"), or -1.
inline long StatusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace keelwatch
