#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace keelwatch {

// Turns SIGTERM and SIGINT (a service stop, Ctrl+C) and SIGHUP (logrotate)
// into calls on the main thread, where the scan and the log can be handled
// safely. One instance at a time.
class SensorSignals : public QObject
{
  public:
    SensorSignals(std::function<void()> onQuit, std::function<void()> onHangUp,
                  QObject *parent = nullptr);
    ~SensorSignals() override;

  private:
    std::function<void()> onQuit;
    std::function<void()> onHangUp;
    QSocketNotifier *notifier = nullptr;
};

} // namespace keelwatch
