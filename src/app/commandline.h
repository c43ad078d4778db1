#pragma once

#include <QString>
#include <QStringList>

namespace keelwatch {

// What the command line asks for before any window exists.
enum class CommandLineRequest { Run, Help, Version };

// "-h"/"--help" and "-v"/"--version" anywhere win, help first; every other
// argument ("auto", Qt's own options) is left to the program.
CommandLineRequest ReadCommandLine(const QStringList &arguments);

// The texts for --help and --version, each ended by a line break.
QString HelpText();
QString VersionText();

// True when the windows can be shown: an X or Wayland display is set, or a
// platform or display was chosen with QT_QPA_PLATFORM, -platform or -display.
bool DisplayAvailable(const QStringList &arguments);

// What the program prints, as one line, when it has no display to use.
QString NoDisplayLine();

// Exit status when the program cannot show its windows.
constexpr int NoDisplayStatus = 2;

// Held while the toolkit opens the display: the toolkit's own messages are
// kept back, and a display that cannot be opened ends the program with one
// line on stderr naming the display, and NoDisplayStatus, instead of the
// toolkit's abort. Released, it hands the kept messages on. One at a time.
class DisplayOpenGuard
{
  public:
    DisplayOpenGuard();
    ~DisplayOpenGuard();
    void Release();

    DisplayOpenGuard(const DisplayOpenGuard &) = delete;
    DisplayOpenGuard &operator=(const DisplayOpenGuard &) = delete;

  private:
    bool held = true;
};

// The line printed when the display named by DISPLAY or WAYLAND_DISPLAY
// could not be opened; reason is the toolkit's first complaint, if any.
QString UnreachableDisplayLine(const QString &reason);

} // namespace keelwatch
