#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace keelwatch {

// Turns SIGTERM and SIGINT into a call on the main thread, so that a logout
// or a service stop closes the program as File, "Exit" does and the settings
// and comments are saved. One instance at a time.
class QuitSignals : public QObject
{
  public:
    explicit QuitSignals(std::function<void()> onQuit, QObject *parent = nullptr);
    ~QuitSignals() override;

  private:
    std::function<void()> onQuit;
    QSocketNotifier *notifier = nullptr;
};

} // namespace keelwatch
