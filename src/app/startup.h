#pragma once

#include "config/clock.h"

#include <QStringList>

#include <memory>

namespace keelwatch {

class EventLog;
class EventWindowsAdapter;
class SyslogSender;
class TForm1;
class TForm2;
class TForm6;
class TForm7;
class TForm10;

// True when the windows can be shown: an X or Wayland display is set, or a
// platform was chosen with QT_QPA_PLATFORM or -platform.
bool DisplayAvailable(const QStringList &arguments);
// What the program prints instead of starting without a display.
extern const char NoDisplayText[];

// The windows, created once in start-up order: the main window, the Setup
// dialog (which restores the settings), the About box, the small alert window
// and the promiscuous alert window; and the event writer behind them.
class Startup
{
  public:
    // arguments: the command line without the program name.
    explicit Startup(const QStringList &arguments);
    ~Startup();

    void Show();

    TForm1 &Form1() { return *form1; }
    TForm2 &Form2() { return *form2; }
    TForm6 &Form6() { return *form6; }
    TForm7 &Form7() { return *form7; }
    TForm10 &Form10() { return *form10; }
    EventLog &Events() { return *events; }

  private:
    SystemClock clock;
    std::unique_ptr<TForm1> form1;
    TForm2 *form2;
    TForm6 *form6;
    TForm7 *form7;
    TForm10 *form10;
    std::unique_ptr<EventWindowsAdapter> eventWindows;
    std::unique_ptr<SyslogSender> syslog;
    std::unique_ptr<EventLog> events;
};

} // namespace keelwatch
