#pragma once

#include <QObject>

#include <functional>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace keelwatch {

// Turns POSIX signals into calls on the thread that owns this object, where
// the scan, the log and the files can be handled safely: a service stop,
// Ctrl+C or logrotate's SIGHUP. The previous handlers come back when it goes.
// One instance at a time.
class SignalCalls : public QObject
{
  public:
    using Call = std::pair<int, std::function<void()>>;

    explicit SignalCalls(std::vector<Call> calls, QObject *parent = nullptr);
    ~SignalCalls() override;

    SignalCalls(const SignalCalls &) = delete;
    SignalCalls &operator=(const SignalCalls &) = delete;

  private:
    std::vector<Call> calls;
    QSocketNotifier *notifier = nullptr;
};

} // namespace keelwatch
