#pragma once

#include <QDateTime>

namespace keelwatch {

// The wall clock, so that tests can set the date and cross midnight.
class Clock
{
  public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const = 0;
};

class SystemClock : public Clock
{
  public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
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
