#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace keelwatch {

// Holds these signals back from here on: one that comes before a
// SignalCalls takes it waits for it instead of ending the program. Called
// first thing in main, before any thread starts.
void HoldSignals(std::initializer_list<int> signals);

// Turns POSIX signals into calls on the thread that owns this object, where
// the scan, the log and the files can be handled safely: a service stop,
// Ctrl+C or logrotate's SIGHUP. A signal held back until now is taken then;
// its call comes from the event loop. The previous handlers come back when
// it goes. One instance at a time.
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
