#pragma once

#include <QThread>

#include <atomic>

namespace keelwatch {

// What the three workers of a scan have in common: a stop flag that the
// worker checks between units of work, and failure messages for the user.
class ScanThread : public QThread
{
    Q_OBJECT

  public:
    using QThread::QThread;

    // Takes effect at the worker's next check; never waited for.
    void RequestStop() { stopRequested = true; }
    bool StopRequested() const { return stopRequested; }
    // The program is closing and waits for the thread: stop, and cut short
    // whatever wait can be cut short.
    virtual void Abandon() { RequestStop(); }

  Q_SIGNALS:
    void message(const QString &text);

  protected:
    std::atomic<bool> stopRequested{false};
};

} // namespace keelwatch
