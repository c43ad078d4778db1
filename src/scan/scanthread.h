#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace keelwatch {

// What the three workers of a scan have in common: a thread of their own, a
// stop flag that the worker checks between units of work, and failure
// messages for the user. A plain standard thread, so that the thread
// sanitizer sees every hand-over between it and its owner.
class ScanThread : public QObject
{
    Q_OBJECT

  public:
    using QObject::QObject;
    // Joins the thread: deleting a running worker waits for it.
    ~ScanThread() override;

    void start();
    // Waits for the thread to end. A worker that is not stopped runs on,
    // so its owner stops it first (ScanWorkers does).
    void Join();
    bool isRunning() const;
    bool isFinished() const;

    // Takes effect at the worker's next check; never waited for.
    void RequestStop() { stopRequested = true; }
    bool StopRequested() const { return stopRequested; }
    // The program is closing and waits for the thread: stop, and cut short
    // whatever wait can be cut short.
    virtual void Abandon() { RequestStop(); }

  Q_SIGNALS:
    void message(const QString &text);
    // Raised on the worker's thread as its last act.
    void finished();

  protected:
    // The worker's loop.
    virtual void Work() = 0;
    std::atomic<bool> stopRequested{false};

  private:
    std::thread thread;
    mutable std::mutex stateMutex;
    std::condition_variable ended;
    bool started = false;
    bool done = false;
};

} // namespace keelwatch
