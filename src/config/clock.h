#pragma once

#include <QDateTime>

namespace keelwatch {

// The wall clock, so that tests can set the date and cross midnight.
class Clock
{
  public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const = 0;

    // Now() taken in two halves, for many instants taken at once: the
    // instant, then (later) its date and time as Now() would have given
    // them. The system clock's local time costs a look at the time zone
    // file each time; the instant alone costs next to nothing.
    virtual qint64 NowMSecsSinceEpoch() const { return Now().toMSecsSinceEpoch(); }
    virtual QDateTime FromMSecsSinceEpoch(qint64 msecs) const
    {
        // In the clock's own time zone.
        const QDateTime now = Now();
        return now.addMSecs(msecs - now.toMSecsSinceEpoch());
    }
};

class SystemClock : public Clock
{
  public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
    qint64 NowMSecsSinceEpoch() const override { return QDateTime::currentMSecsSinceEpoch(); }
    QDateTime FromMSecsSinceEpoch(qint64 msecs) const override
    {
        return QDateTime::fromMSecsSinceEpoch(msecs);
    }
};

// A clock that stands still until the test moves it.
class FixedClock : public Clock
{
  public:
    explicit FixedClock(QDateTime start) : now(std::move(start)) {}
    QDateTime Now() const override { return now; }
    void Set(const QDateTime &when) { now = when; }
    void Advance(qint64 ms) { now = now.addMSecs(ms); }

  private:
    QDateTime now;
};

} // namespace keelwatch
